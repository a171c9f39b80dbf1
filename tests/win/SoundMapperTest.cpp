// The preferred wave devices, written to Wine's real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeMixer.h"
#include "SoundMapper.h"

namespace {

class SoundMapperTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyA(HKEY_CURRENT_USER, kSoundMapperKey); }
    void TearDown() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, kSoundMapperKey);
        FakeWave::Uninstall();
    }

    static void CreateKeyWith(const char* playback, const char* record) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kSoundMapperKey, &key), ERROR_SUCCESS);
        RegSetValueExA(key, "Playback", 0, REG_SZ, reinterpret_cast<const BYTE*>(playback),
                       static_cast<DWORD>(strlen(playback) + 1));
        RegSetValueExA(key, "Record", 0, REG_SZ, reinterpret_cast<const BYTE*>(record),
                       static_cast<DWORD>(strlen(record) + 1));
        RegCloseKey(key);
    }

    static bool KeyExists() {
        HKEY key = nullptr;
        if (RegOpenKeyA(HKEY_CURRENT_USER, kSoundMapperKey, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    static std::string Text(const char* value) {
        char text[256] = {};
        DWORD size = sizeof(text);
        DWORD type = 0;
        if (RegGetValueA(HKEY_CURRENT_USER, kSoundMapperKey, value, RRF_RT_ANY, &type, text,
                         &size) != ERROR_SUCCESS) {
            return "<missing>";
        }
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(size, strlen(text) + 1) << "stored with its terminating NUL";
        return text;
    }

    static DWORD Number(const char* value) {
        DWORD number = 0xDEAD;
        DWORD size = sizeof(number);
        RegGetValueA(HKEY_CURRENT_USER, kSoundMapperKey, value, RRF_RT_REG_DWORD, nullptr, &number,
                     &size);
        return number;
    }
};

TEST_F(SoundMapperTest, TheHandsetAloneChangesNothing) {
    FakeWave::Install(1, {"USB Audio Handset"});
    EXPECT_EQ(SetPreferredAudioDevices(), 1);
    EXPECT_FALSE(KeyExists());

    CreateKeyWith("Somewhere", "Elsewhere");
    SetPreferredAudioDevices();
    EXPECT_EQ(Text("Playback"), "Somewhere");
    EXPECT_EQ(Text("Record"), "Elsewhere");
}

TEST_F(SoundMapperTest, WithTheSettingsPresentTheHandsetPlaysAndTheSoundCardRecords) {
    FakeWave::Install(2, {"Realtek HD Audio", "USB Audio Handset"});
    CreateKeyWith("Realtek HD Audio", "USB Audio Handset");
    SetPreferredAudioDevices();
    EXPECT_EQ(Text("Playback"), "USB Audio Handset");
    EXPECT_EQ(Text("Record"), "Realtek HD Audio");
}

TEST_F(SoundMapperTest, TheLastMatchingDeviceWinsWhenTheSettingsArePresent) {
    FakeWave::Install(4, {"Realtek HD Audio", "USB Phone A", "Webcam Mic", "USB Phone B"});
    CreateKeyWith("x", "y");
    SetPreferredAudioDevices();
    EXPECT_EQ(Text("Playback"), "USB Phone B");
    EXPECT_EQ(Text("Record"), "Webcam Mic");
}

TEST_F(SoundMapperTest, MissingSettingsAreCreatedNamingTheSoundCard) {
    FakeWave::Install(2, {"Realtek HD Audio", "USB Audio Handset"});
    SetPreferredAudioDevices();
    ASSERT_TRUE(KeyExists());
    EXPECT_EQ(Text("Playback"), "Realtek HD Audio");
    EXPECT_EQ(Text("Record"), "Realtek HD Audio");
    EXPECT_EQ(Number("PreferredOnly"), 0u);
    EXPECT_EQ(Number("SetupPreferredAudioDevicesCount"), 2u);
}

TEST_F(SoundMapperTest, TheDeviceListFollowsTheOutputCountAndTheInputNames) {
    FakeWave::Install(3, {"USB Audio Handset", "Realtek HD Audio"});
    const auto devices = AudioDeviceList();
    EXPECT_EQ(devices, (std::vector<std::string>{"USB Audio Handset", "Realtek HD Audio"}))
        << "an output without an input of the same number has no entry";
    EXPECT_TRUE(IsHandsetDeviceName("USB"));
    EXPECT_FALSE(IsHandsetDeviceName("US"));
    EXPECT_FALSE(IsHandsetDeviceName("My USB Phone"));
}

TEST_F(SoundMapperTest, AnOutputWithoutAnInputNameIsNeverWritten) {
    // The handset and an HDMI output: two outputs, one input.
    FakeWave::Install(2, {"USB Audio Handset"});
    SetPreferredAudioDevices();
    ASSERT_TRUE(KeyExists());
    EXPECT_EQ(Text("Playback"), "<missing>");
    EXPECT_EQ(Text("Record"), "<missing>");

    CreateKeyWith("x", "y");
    SetPreferredAudioDevices();
    EXPECT_EQ(Text("Playback"), "USB Audio Handset");
    EXPECT_EQ(Text("Record"), "y");
}

}  // namespace

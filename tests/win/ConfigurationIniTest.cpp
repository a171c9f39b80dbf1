// The configuration read from real INI files with the Win32 private-profile
// functions, and the sample file shipped beside the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "Configuration.h"
#include "WinProfileReader.h"

namespace {

class ConfigurationIni : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "voxlink-ini-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    void TearDown() override {
        DeleteFileA((folder + "VoxlinkAPI.ini").c_str());
        RemoveDirectoryA(folder.c_str());
    }

    Configuration Load(const char* text) {
        if (text != nullptr) {
            FILE* file = std::fopen((folder + "VoxlinkAPI.ini").c_str(), "wb");
            EXPECT_NE(file, nullptr);
            std::fputs(text, file);
            std::fclose(file);
        } else {
            DeleteFileA((folder + "VoxlinkAPI.ini").c_str());
        }
        Configuration config;
        config.Load(reader, folder.c_str());
        return config;
    }

    CWinProfileReader reader;
    std::string folder;
};

TEST_F(ConfigurationIni, NoFileGivesTheDefaults) {
    const Configuration config = Load(nullptr);
    EXPECT_EQ(config.Switches().fontSupport, 1);
    EXPECT_EQ(config.Switches().supportSky, 1);
    EXPECT_EQ(config.Switches().supportHideWindows, 1);
    EXPECT_EQ(config.Switches().supportAGC, 0);
    EXPECT_EQ(config.Switches().supportAutoRunSkype, 0);
    EXPECT_EQ(config.Reg04Value(), 16);
    EXPECT_EQ(config.Reg1CValue(), 8);
    EXPECT_EQ(config.WindowName(), "RezedIzeVovive");
    EXPECT_TRUE(config.ReadRingNames(reader).empty());
}

TEST_F(ConfigurationIni, SwitchesAndIntegersFollowTheProfileRules) {
    const Configuration config = Load(
        "[FONT]\r\nNotSupportedFont=2\r\n"
        "[SYSTEM]\r\nSupportSky=2\r\nSupportAGC=1\r\nSupportARF=1x\r\nSupportLimitCalls=on\r\n"
        "[DEFAULT]\r\nReg04Value=24\r\nReg1CValue=5 dB\r\n");
    EXPECT_EQ(config.Switches().fontSupport, 0);
    EXPECT_EQ(config.Switches().supportSky, 0);
    EXPECT_EQ(config.Switches().supportAGC, 1);
    EXPECT_EQ(config.Switches().supportARF, 1) << "leading digits";
    EXPECT_EQ(config.Switches().supportLimitCalls, 0);
    EXPECT_EQ(config.Switches().supportHideWindows, 1) << "missing key keeps its default";
    EXPECT_EQ(config.Reg04Value(), 24);
    EXPECT_EQ(config.Reg1CValue(), 5);
}

TEST_F(ConfigurationIni, StringsPathsAndTheAboutText) {
    const std::string longName(300, 'n');
    const Configuration config = Load(("[NAME]\r\nName=" + longName +
                                       "\r\nAPINAME=Voxlink Phone\r\nCustomerINFO=A\\nB\r\n"
                                       "[ICON]\r\nFileNoHW=nohw.ico\r\nFileActive=active.ico\r\n")
                                          .c_str());
    EXPECT_EQ(config.Name(), std::string(259, 'n'));
    EXPECT_EQ(config.WindowName(), "Voxlink Phone");
    EXPECT_EQ(config.AboutText(), "A\r\nB");
    EXPECT_EQ(config.FileNoHW(), folder + "\\nohw.ico");
    EXPECT_EQ(config.FileActive(), folder + "\\active.ico");
    EXPECT_EQ(config.FilePath(), folder + "\\VoxlinkAPI.ini");
}

// A packager writes the texts a user sees in the user's language: an INI in
// UTF-16 with a byte-order mark, whatever the system's code page.
TEST_F(ConfigurationIni, TextsOfAUtf16IniReachTheProgramAsUtf8) {
    const wchar_t text[] =
        L"\xfeff[NAME]\r\nCustomerINFO=\u738b\u5c0f\u660e\r\n[RINGS]\r\nNUMOFRINGS=1\r\n"
        L"RING_1=\u30af\u30e9\u30b7\u30c3\u30af\r\n";
    FILE* file = std::fopen((folder + "VoxlinkAPI.ini").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text, sizeof(wchar_t), std::wcslen(text), file);
    std::fclose(file);
    Configuration config;
    config.Load(reader, folder.c_str());
    EXPECT_EQ(config.CustomerInfo(), "\xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e");  // 王小明
    EXPECT_EQ(
        config.ReadRingNames(reader),
        (std::vector<std::string>{"\xe3\x82\xaf\xe3\x83\xa9\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf"}));
}

TEST_F(ConfigurationIni, RingListLongerThanItsKeysGetsEmptyEntries) {
    const Configuration config = Load("[RINGS]\r\nNUMOFRINGS=3\r\nRING_1=Classic\r\n");
    EXPECT_EQ(config.ReadRingNames(reader), (std::vector<std::string>{"Classic", "", ""}));
}

TEST(ShippedConfiguration, SampleBesideTheProgramReadsAsDocumented) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.resize(folder.find_last_of('\\') + 1);
    CWinProfileReader reader;
    Configuration config;
    config.Load(reader, folder.c_str());
    ASSERT_NE(GetFileAttributesA((folder + "VoxlinkAPI.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(config.Name(), "Voxlink");
    EXPECT_EQ(config.WindowName(), "Voxlink");
    EXPECT_EQ(config.Switches().supportSky, 1);
    EXPECT_EQ(config.Switches().fontSupport, 1);
    EXPECT_EQ(config.Reg04Value(), 16);
    EXPECT_EQ(config.AboutText(), "Voxlink\r\nUSB handset for Skype");
    EXPECT_EQ(config.ReadRingNames(reader).size(), 4u);
}

}  // namespace

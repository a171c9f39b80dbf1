// Reading VoxlinkAPI.ini: defaults, the switch and integer rules, string
// limits, paths, the about text and the ring list.
#include <gtest/gtest.h>

#include <string>

#include "Configuration.h"
#include "FakeProfile.h"

namespace {

constexpr char kFolder[] = "C:\\Program Files\\Voxlink\\";
constexpr char kFile[] = "C:\\Program Files\\Voxlink\\\\VoxlinkAPI.ini";

Configuration LoadFrom(FakeProfile& profile, const std::string& text) {
    profile.SetFile(kFile, text);
    Configuration config;
    config.Load(profile, kFolder);
    return config;
}

TEST(Configuration, WithoutAFileEveryDefaultApplies) {
    FakeProfile profile;
    Configuration config;
    config.Load(profile, kFolder);
    const ConfigSwitches& s = config.Switches();
    EXPECT_EQ(s.fontSupport, 1);
    EXPECT_EQ(s.supportSky, 1);
    EXPECT_EQ(s.supportHideWindows, 1);
    EXPECT_EQ(s.supportAGC, 0);
    EXPECT_EQ(s.supportAutoRunSkype, 0);
    EXPECT_EQ(s.supportAutoSwitchAudioDevice, 0);
    EXPECT_EQ(s.supportAutoSwitchSystemAudioDevice, 0);
    EXPECT_EQ(s.supportFocusAddressBook, 0);
    EXPECT_EQ(s.supportARF, 0);
    EXPECT_EQ(s.supportLimitCalls, 0);
    EXPECT_EQ(config.Reg04Value(), 16);
    EXPECT_EQ(config.Reg1CValue(), 8);
    EXPECT_EQ(config.WindowName(), "RezedIzeVovive");
    EXPECT_EQ(config.Name(), "");
    EXPECT_EQ(config.AboutText(), "");
    EXPECT_TRUE(config.ReadRingNames(profile).empty());
    EXPECT_EQ(config.FilePath(), kFile);
}

TEST(Configuration, SwitchIsOnOnlyAtExactlyOneButAnyNonZeroTurnsFontSupportOff) {
    FakeProfile profile;
    Configuration config = LoadFrom(profile,
                                    "[FONT]\nNotSupportedFont=2\n"
                                    "[SYSTEM]\nSupportSky=2\nSupportHideWindows=0\n"
                                    "SupportAGC=1\nSupportAutoRunSkype=01\nSupportARF=1x\n"
                                    "SupportLimitCalls=yes\nSupportFocusAddressBook=11\n");
    const ConfigSwitches& s = config.Switches();
    EXPECT_EQ(s.fontSupport, 0);
    EXPECT_EQ(s.supportSky, 0);
    EXPECT_EQ(s.supportHideWindows, 0);
    EXPECT_EQ(s.supportAGC, 1);
    EXPECT_EQ(s.supportAutoRunSkype, 1) << "leading digits 01 read as 1";
    EXPECT_EQ(s.supportARF, 1) << "leading digits of 1x";
    EXPECT_EQ(s.supportLimitCalls, 0) << "a value without a leading digit reads as 0";
    EXPECT_EQ(s.supportFocusAddressBook, 0);

    EXPECT_EQ(LoadFrom(profile, "[FONT]\nNotSupportedFont=0\n").Switches().fontSupport, 1);
    EXPECT_EQ(LoadFrom(profile, "[FONT]\nNotSupportedFont=no\n").Switches().fontSupport, 1);
}

TEST(Configuration, RegisterValuesAndStringsAreReadAsTheyStand) {
    FakeProfile profile;
    Configuration config = LoadFrom(profile,
                                    "[DEFAULT]\nReg04Value=24\nReg1CValue=3abc\n"
                                    "[NAME]\nName=Voxlink\nAPINAME=Voxlink Phone\n"
                                    "[SUPPORT]\nEmail=help@example.com\n");
    EXPECT_EQ(config.Reg04Value(), 24);
    EXPECT_EQ(config.Reg1CValue(), 3);
    EXPECT_EQ(config.Name(), "Voxlink");
    EXPECT_EQ(config.WindowName(), "Voxlink Phone");
    EXPECT_EQ(config.SupportEmail(), "help@example.com");
}

TEST(Configuration, StringsKeepAtMost259Characters) {
    FakeProfile profile;
    const std::string longName(400, 'n');
    Configuration config = LoadFrom(profile, "[NAME]\nName=" + longName + "\n");
    EXPECT_EQ(config.Name(), std::string(259, 'n'));
}

TEST(Configuration, IconPathsAreTheFolderABackslashAndTheValue) {
    FakeProfile profile;
    Configuration config = LoadFrom(profile,
                                    "[ICON]\nFileNoHW=nohw.ico\nFileNoANY=noany.ico\n"
                                    "FileActive=active.ico\nFileNoSkype=noskype.ico\n");
    const std::string folder = kFolder;
    EXPECT_EQ(config.FileNoHW(), folder + "\\nohw.ico");
    EXPECT_EQ(config.FileNoANY(), folder + "\\noany.ico");
    EXPECT_EQ(config.FileActive(), folder + "\\active.ico");
    EXPECT_EQ(config.FileNoSkype(), folder + "\\noskype.ico");

    // A path that would not fit the 260-byte buffers is cut, not overrun.
    config = LoadFrom(profile, "[ICON]\nFileNoHW=" + std::string(255, 'i') + "\n");
    EXPECT_EQ(config.FileNoHW().size(), 259u);
}

TEST(Configuration, AboutTextTurnsEachBackslashNIntoALineBreak) {
    FakeProfile profile;
    EXPECT_EQ(LoadFrom(profile, "[NAME]\nCustomerINFO=A\\nB\n").AboutText(), "A\r\nB");
    EXPECT_EQ(LoadFrom(profile, "[NAME]\nCustomerINFO=\\n\\nX\\\n").AboutText(), "\r\n\r\nX\\");
    // Scanning continues after each replacement: the first backslash stays.
    EXPECT_EQ(LoadFrom(profile, "[NAME]\nCustomerINFO=a\\\\nb\n").AboutText(), "a\\\r\nb");
    EXPECT_EQ(LoadFrom(profile, "[NAME]\nCustomerINFO=plain\n").AboutText(), "plain");
}

TEST(Configuration, RingListHasNumOfRingsEntriesEmptyWhereTheKeyIsMissing) {
    FakeProfile profile;
    Configuration config =
        LoadFrom(profile, "[RINGS]\nNUMOFRINGS=3\nRING_1=Classic\nRING_4=Unused\n");
    EXPECT_EQ(config.ReadRingNames(profile), (std::vector<std::string>{"Classic", "", ""}));

    // Read afresh each time: a changed file shows on the next read.
    profile.SetFile(kFile, "[RINGS]\nNUMOFRINGS=1\nRING_1=Modern\n");
    EXPECT_EQ(config.ReadRingNames(profile), (std::vector<std::string>{"Modern"}));
}

TEST(Configuration, AnAbsurdRingCountIsCut) {
    FakeProfile profile;
    Configuration config = LoadFrom(profile, "[RINGS]\nNUMOFRINGS=4000000000\n");
    EXPECT_EQ(config.ReadRingNames(profile).size(), Configuration::kMaxRings);
}

TEST(Configuration, CopyTextCutsToTheBufferAndAlwaysTerminates) {
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_TRUE(CopyText("abcdef", out, sizeof(out)));
    EXPECT_STREQ(out, "abc");
    EXPECT_TRUE(CopyText("", out, sizeof(out)));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(CopyText("abc", nullptr, 4));
    EXPECT_FALSE(CopyText("abc", out, 0));
}

}  // namespace

// The user's values (kept per user by the dialogs) replace the INI's; one that
// cannot be read or is out of range leaves the INI's value and one note.
TEST(Configuration, UserValuesOverTheIniAndBadOnesLeaveItWithANote) {
    struct UserValues : IUserSettings {
        std::string name;
        Read read;
        unsigned int value;
        Read ReadNumber(const char* key, unsigned int* out) override {
            *out = value;
            return name == key ? read : Read::Missing;
        }
        void WriteNumber(const char*, unsigned int) override {}
    };
    using R = IUserSettings::Read;
    const struct {
        const char* name;
        R read;
        unsigned int value;
        int autoRun, ring, logLevel;
    } rows[] = {
        {"SupportAutoRunSkype", R::Found, 0, 0, 2, 2},
        {"RING", R::Found, 4, 1, 4, 2},
        {"LogLevel", R::Found, 0, 1, 2, 0},
        {"RING", R::Found, 5, 1, 2, 2},
        {"LogLevel", R::Found, 3, 1, 2, 2},
        {"SupportAutoRunSkype", R::Found, 2, 1, 2, 2},
        {"SupportAutoRunSkype", R::Unreadable, 0, 1, 2, 2},
    };
    for (const auto& row : rows) {
        FakeProfile profile;
        profile.SetFile(
            kFile, "[SYSTEM]\nSupportAutoRunSkype=1\nLogLevel=2\n[RINGS]\nNUMOFRINGS=4\nRING=2\n");
        UserValues user;
        user.name = row.name;
        user.read = row.read;
        user.value = row.value;
        Configuration config;
        config.Load(profile, kFolder, &user);
        const bool ignored = row.autoRun == 1 && row.ring == 2 && row.logLevel == 2;
        EXPECT_EQ(config.Switches().supportAutoRunSkype, row.autoRun) << row.name << row.value;
        EXPECT_EQ(config.Ring(), row.ring) << row.name << row.value;
        EXPECT_EQ(config.LogLevel(), row.logLevel) << row.name << row.value;
        EXPECT_EQ(config.Notes().size(), ignored ? 1u : 0u) << row.name << row.value;
    }
}

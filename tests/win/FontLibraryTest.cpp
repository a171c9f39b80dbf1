// HsdFontProcessLib as the program uses it: bound by name, given the folder of
// the generated font data files, converting a Chinese name and sending its
// stream to a handset.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "HsdFontProcess.h"
#include "SilentHidCtrl.h"

namespace {

class RecordingHandset final : public SilentHidCtrl {
public:
    HsdStatus SendCommandData(unsigned char command, unsigned char data) override {
        items.emplace_back(command, data);
        return 0;
    }

    std::vector<std::pair<unsigned char, unsigned char>> items;
};

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/"));
}

class FontLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        library_ = LoadLibraryA("HsdFontProcessLib.dll");
        ASSERT_NE(library_, nullptr);
        create_ = reinterpret_cast<PFN_CreateFontProcess>(
            reinterpret_cast<void*>(GetProcAddress(library_, "CreateComponentInstance")));
        destroy_ = reinterpret_cast<PFN_DeleteFontProcess>(
            reinterpret_cast<void*>(GetProcAddress(library_, "DeleteComponentInstance")));
        ASSERT_NE(create_, nullptr);
        ASSERT_NE(destroy_, nullptr);
        ASSERT_EQ(create_(&font_), 1);
        font_->SetHIDCtrlInterface(&handset_);
        font_->SetHIDCtrlInterfaceKey(1, 0);
    }
    void TearDown() override {
        if (destroy_ != nullptr) {
            destroy_(&font_);
        }
        if (library_ != nullptr) {
            FreeLibrary(library_);
        }
    }

    HMODULE library_ = nullptr;
    PFN_CreateFontProcess create_ = nullptr;
    PFN_DeleteFontProcess destroy_ = nullptr;
    CHsdFontProcess* font_ = nullptr;
    RecordingHandset handset_;
};

TEST_F(FontLibrary, ChineseNameBecomesGlyphsFromTheGeneratedFiles) {
    ASSERT_EQ(font_->InitialFontTable(ProgramFolder().c_str()), 0);
    ASSERT_EQ(font_->UTF_8ToUnicodeToFontCode("\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E"),
              0);  // 王小明
    ASSERT_EQ(font_->SendFontCode2MCU(), 0);
    ASSERT_EQ(handset_.items.size(), 1u + 3 * 32);
    EXPECT_EQ(handset_.items[0].first, 0x71);
    EXPECT_EQ(handset_.items[0].second, 0x0A);

    // Each glyph is the one the Big5 glyph file holds for the character.
    const unsigned char codes[3][2] = {{0xA4, 0xFD}, {0xA4, 0x70}, {0xA9, 0xFA}};
    for (int g = 0; g < 3; ++g) {
        unsigned char glyph[32] = {};
        ASSERT_EQ(font_->Transfer950FontCode(codes[g], glyph), 0);
        int lit = 0;
        for (int i = 0; i < 32; ++i) {
            EXPECT_EQ(handset_.items[1 + g * 32 + i].first, glyph[i]);
            EXPECT_EQ(handset_.items[1 + g * 32 + i].second, i % 2 == 0 ? 0 : 5);
            lit += glyph[i] != 0;
        }
        EXPECT_GT(lit, 4) << "glyph " << g << " is drawn";
    }
}

TEST_F(FontLibrary, CodePageTextComesBackAsUtf8) {
    ASSERT_EQ(font_->InitialFontTable(ProgramFolder().c_str()), 0);
    unsigned char codePage[34] = {};
    ASSERT_EQ(font_->UTF_8ToUnicode2Font("A\xE4\xB8\xAD", codePage), 0);  // A中
    EXPECT_STREQ(reinterpret_cast<char*>(codePage), "A\xA4\xA4");
    unsigned char utf8[255] = {};
    ASSERT_EQ(font_->FontCodeToUnicodeToUTF_8(reinterpret_cast<char*>(codePage), utf8), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(utf8), "A\xE4\xB8\xAD");
}

TEST_F(FontLibrary, FilesOpenFromTheCurrentFolderWithoutAFolderName) {
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(ProgramFolder().c_str()));
    font_->InitialFontTable(nullptr);
    SetCurrentDirectoryA(previous);
    unsigned char buffer[2] = {0x4E, 0x2D};
    EXPECT_EQ(font_->TransferUnicodeToCode(buffer), 0);
    EXPECT_EQ(buffer[0], 0xA4);
    EXPECT_EQ(buffer[1], 0xA4);
}

TEST_F(FontLibrary, BalanceStreamReachesTheHandset) {
    ASSERT_EQ(font_->BalanceToFontCode(1234), 0);
    ASSERT_EQ(font_->SendFontCode2MCU(), 0);
    EXPECT_EQ(handset_.items.size(), 49u);
}

}  // namespace

// The font data files the build generates from GNU Unifont and iconv, read
// through the component as the program reads them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <map>

#include "FontTestSupport.h"

namespace {

using namespace fonttest;
using Glyph = std::array<unsigned char, 32>;

const std::filesystem::path kDataDir = VOXLINK_FONT_DATA_DIR;

class GeneratedFonts : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(h.font.InitialFontTable(kDataDir.string().c_str()), 0); }

    using Lookup = HsdStatus (CHsdFontProcessImpl::*)(const unsigned char*, unsigned char*);
    Glyph GlyphOf(Lookup lookup, unsigned code) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(code >> 8),
                                        static_cast<unsigned char>(code)};
        Glyph glyph{};
        EXPECT_EQ((h.font.*lookup)(bytes, glyph.data()), 0) << std::hex << code;
        return glyph;
    }
    static bool Blank(const Glyph& glyph) {
        for (unsigned char byte : glyph) {
            if (byte != 0) {
                return false;
            }
        }
        return true;
    }
    // Pixel (row, column) of a 16x16 glyph in the LCD's page layout.
    static bool Pixel(const Glyph& glyph, int row, int column) {
        return (glyph[(row / 8) * 16 + column] >> (row % 8)) & 1;
    }

    Harness h;
};

TEST_F(GeneratedFonts, FilesHaveTheSizesOfTheirLayouts) {
    const std::map<std::string, std::uintmax_t> sizes = {{"TIF0.bin", (0x10000 - 0xA7) * 2},
                                                         {"TIF2.bin", (0x10000 - 0xA7) * 2},
                                                         {"TIF6.bin", (0x10000 - 0xA4) * 2},
                                                         {"TCF0.bin", 13973 * 32},
                                                         {"TCF6.bin", 8178 * 32},
                                                         {"TCF2.bin", 7938 * 32},
                                                         {"TI0Inv.bin", (0xF9FE - 0xA140 + 1) * 2},
                                                         {"TI6Inv.bin", 0xF7FE * 2},
                                                         {"TI2Inv.bin", (0xFC4B - 0xA140 + 1) * 2},
                                                         {"Turkey_8x16.bin", 256 * 16},
                                                         {"TurkeyInx.bin", 256 * 2}};
    for (const auto& [name, size] : sizes) {
        EXPECT_EQ(std::filesystem::file_size(kDataDir / name), size) << name;
    }
}

TEST_F(GeneratedFonts, ZhongIsDrawnInAllThreeCodePages) {
    // 中 is Big5 A4A4, GB2312 D6D0 and Shift-JIS 9286: each glyph has the
    // character's long middle stroke and differs from its neighbour's.
    const struct {
        Lookup lookup;
        unsigned code;
        unsigned neighbour;
    } cases[] = {
        {&CHsdFontProcessImpl::Transfer950FontCode, 0xA4A4, 0xA4A3},
        {&CHsdFontProcessImpl::Transfer936FontCode, 0xD6D0, 0xD6CF},
        {&CHsdFontProcessImpl::Transfer932FontCode, 0x9286, 0x9285},
    };
    for (const auto& c : cases) {
        const Glyph glyph = GlyphOf(c.lookup, c.code);
        EXPECT_FALSE(Blank(glyph)) << std::hex << c.code;
        EXPECT_NE(glyph, GlyphOf(c.lookup, c.neighbour)) << std::hex << c.code;
        // A vertical stroke through the middle, from the top rows to the bottom rows.
        bool top = false;
        bool bottom = false;
        for (int column = 6; column <= 9; ++column) {
            top = top || Pixel(glyph, 1, column);
            bottom = bottom || Pixel(glyph, 14, column);
        }
        EXPECT_TRUE(top && bottom) << std::hex << c.code << " is upside down or sideways";
    }
}

TEST_F(GeneratedFonts, KnownCharactersMapToTheirCodePages) {
    struct Case {
        unsigned unicode;
        unsigned code;
        int table;
    };
    const Case cases[] = {
        {0x4E2D, 0xA4A4, 1},  // 中, Big5
        {0x8A9E, 0xBB79, 1},  // 語, Big5
        {0x3042, 0x82A0, 3},  // あ, Shift-JIS
        {0x30AB, 0x834A, 3},  // カ, Shift-JIS
        {0x4EEC, 0xC3C7, 2},  // 们, GB2312 only
        {0x00A4, 0xA1E8, 2},  // ¤, below the other tables
    };
    for (const Case& c : cases) {
        unsigned char buffer[2] = {static_cast<unsigned char>(c.unicode >> 8),
                                   static_cast<unsigned char>(c.unicode)};
        ASSERT_EQ(h.font.TransferUnicodeToCode(buffer), 0) << std::hex << c.unicode;
        EXPECT_EQ(static_cast<unsigned>(buffer[0] << 8 | buffer[1]), c.code)
            << std::hex << c.unicode;
        EXPECT_EQ(h.font.LastCodeTable(), c.table) << std::hex << c.unicode;
    }
}

TEST_F(GeneratedFonts, ChineseNameBecomesItsGlyphs) {
    const Items items = h.Convert("\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E");  // 王小明
    ASSERT_EQ(items.size(), 1u + 3 * 32);
    EXPECT_EQ(items[0], Item(0x71, 0x0A));
    unsigned char code[2] = {0x73, 0x8B};  // 王
    ASSERT_EQ(h.font.TransferUnicodeToCode(code), 0);
    const Glyph wang = GlyphOf(&CHsdFontProcessImpl::Transfer950FontCode, code[0] << 8 | code[1]);
    EXPECT_FALSE(Blank(wang));
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(items[1 + i], Item(wang[i], i % 2 == 0 ? 0 : 5));
    }
}

TEST_F(GeneratedFonts, TurkishLettersHaveTheirOwnGlyphs) {
    auto latin = [this](std::int32_t code) {
        std::array<unsigned char, 16> glyph{};
        h.font.TransferLatinFontCode(code, glyph.data());
        return glyph;
    };
    const std::array<unsigned char, 16> blank{};
    for (std::int32_t code : {0x41, 0x7A, 0x80, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xC7, 0xFC}) {
        EXPECT_NE(latin(code), blank) << std::hex << code;
    }
    EXPECT_NE(latin(0x8D), latin('I')) << "dotted capital I";
    EXPECT_NE(latin(0x8F), latin('i')) << "dotless i";
    EXPECT_NE(latin(0x90), latin('g')) << "g with breve";
    EXPECT_EQ(latin(0x01), blank);
    // The same letters through a conversion: Ş and ş share a glyph.
    EXPECT_EQ(h.Convert("\xC5\x9E"), h.Convert("\xC5\x9F"));
}

TEST_F(GeneratedFonts, CodePageTextRoundTripsThroughUtf8) {
    // Every character of the three-byte UTF-8 range that a table maps goes
    // to code-page text and back. Code-page text does not say which code
    // page it is in, and the way back reads the Big5 table first: every Big5
    // character comes back as itself, while a GB2312 or Shift-JIS code that
    // Big5 also uses comes back as the Big5 character, and Shift-JIS codes
    // below 0xA140 are not in the inverse table at all.
    std::map<int, int> exact;
    std::map<int, int> mapped;
    for (unsigned unicode = 0x800; unicode <= 0xFFFF; ++unicode) {
        if (unicode >= 0xD800 && unicode <= 0xDFFF) {
            continue;
        }
        unsigned char code[34] = {};
        ASSERT_EQ(h.font.UTF_8ToUnicode2Font(Utf8(unicode).c_str(), code), 0);
        if (code[0] == 0) {
            continue;
        }
        const int table = h.font.LastCodeTable();
        ++mapped[table];
        ASSERT_NE(code[1], 0) << std::hex << unicode;
        ASSERT_EQ(code[2], 0) << std::hex << unicode;
        unsigned char back[8] = {};
        ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8(reinterpret_cast<char*>(code), back), 0);
        const bool same = std::string(reinterpret_cast<char*>(back)) == Utf8(unicode);
        exact[table] += same ? 1 : 0;
        if (table == 1) {
            EXPECT_TRUE(same) << std::hex << unicode;
        } else if (!same && back[0] >= 0x80) {
            // What comes back is the other reading of the same code.
            unsigned char again[34] = {};
            ASSERT_EQ(h.font.UTF_8ToUnicode2Font(reinterpret_cast<char*>(back), again), 0);
            EXPECT_EQ(h.font.LastCodeTable(), 1) << std::hex << unicode;
        }
    }
    EXPECT_GT(mapped[1], 13000);
    EXPECT_GT(mapped[2], 2000);
    EXPECT_GT(mapped[3], 1000);
    std::printf("round trips: Big5 %d/%d, GB2312 %d/%d, Shift-JIS %d/%d\n", exact[1], mapped[1],
                exact[2], mapped[2], exact[3], mapped[3]);
}

}  // namespace

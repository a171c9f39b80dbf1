// Lookups and text conversions against small hand-made font files, where the
// exact glyph index and table entry of every answer is known.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>

#include "FontTestSupport.h"

namespace {

using namespace fonttest;

constexpr int kBig5Glyphs = 13973;
constexpr int kGbGlyphs = 8178;
constexpr int kSjisGlyphs = 7938;
constexpr unsigned char kBig5Fill = 0x5A;
constexpr unsigned char kGbFill = 0x6B;
constexpr unsigned char kSjisFill = 0x7C;
constexpr unsigned char kLatinFill = 0x3C;

void WriteHandMadeFonts(const TempFolder& folder) {
    folder.Write("TIF0.bin", TwoByteTable(0x10000 - 0xA7, {
                                                              {0x00A7 - 0xA7, 0xA1B1},
                                                              {0x4E2D - 0xA7, 0xA4A4},
                                                              {0x8A9E - 0xA7, 0xBBB9},
                                                              {0x03B1 - 0xA7, 0xA344},
                                                              {0x4E01 - 0xA7, 0xA400},
                                                          }));
    folder.Write("TIF2.bin", TwoByteTable(0x10000 - 0xA7, {
                                                              {0x3042 - 0xA7, 0x82A0},
                                                              {0x4E01 - 0xA7, 0x9289},
                                                          }));
    folder.Write("TIF6.bin", TwoByteTable(0x10000 - 0xA4, {
                                                              {0x00A4 - 0xA4, 0xA1E8},
                                                              {0x4EEC - 0xA4, 0xC3C7},
                                                          }));
    folder.Write("TCF0.bin", NumberedGlyphs(kBig5Glyphs, 32, kBig5Fill));
    folder.Write("TCF6.bin", NumberedGlyphs(kGbGlyphs, 32, kGbFill));
    folder.Write("TCF2.bin", NumberedGlyphs(kSjisGlyphs, 32, kSjisFill));
    folder.Write("Turkey_8x16.bin", NumberedGlyphs(256, 16, kLatinFill));
    folder.Write("TurkeyInx.bin", std::vector<unsigned char>(512));
    folder.Write("TI0Inv.bin", TwoByteTable(0xF9FE - 0xA140 + 1, {
                                                                     {0xA4A4 - 0xA140, 0x4E2D},
                                                                     {0xA440 - 0xA140, 0x4E00},
                                                                     {0xA344 - 0xA140, 0x03B1},
                                                                 }));
    folder.Write("TI6Inv.bin", TwoByteTable(0xF7FE, {{0xC3C7 - 1, 0x4EEC}}));
    folder.Write("TI2Inv.bin", TwoByteTable(0xFC4B - 0xA140 + 1, {{0xE040 - 0xA140, 0x6F3E}}));
}

// The glyph the numbered files hold at index n.
std::vector<unsigned char> NumberedGlyph(int n, int size, unsigned char fill) {
    std::vector<unsigned char> glyph(static_cast<std::size_t>(size), fill);
    glyph[0] = static_cast<unsigned char>(n >> 8);
    glyph[1] = static_cast<unsigned char>(n);
    return glyph;
}

class FontConversion : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder;
        WriteHandMadeFonts(*folder_);
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(h.font.InitialFontTable(folder_->str().c_str()), 0); }

    // Index of the glyph a lookup copied, or -1 when it left the buffer alone.
    using Lookup = HsdStatus (CHsdFontProcessImpl::*)(const unsigned char*, unsigned char*);
    int GlyphRead(Lookup lookup, unsigned code, unsigned char fill, HsdStatus expected) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(code >> 8),
                                        static_cast<unsigned char>(code)};
        std::array<unsigned char, 32> glyph;
        glyph.fill(0xEE);
        EXPECT_EQ((h.font.*lookup)(bytes, glyph.data()), expected) << std::hex << code;
        if (glyph[2] == 0xEE) {
            return -1;
        }
        EXPECT_EQ(glyph[31], fill) << "read from the wrong file";
        return glyph[0] << 8 | glyph[1];
    }

    static TempFolder* folder_;
    Harness h;
};
TempFolder* FontConversion::folder_ = nullptr;

TEST_F(FontConversion, Big5GlyphIndexFollowsTheRowsOf157Cells) {
    const std::pair<unsigned, int> found[] = {{0xA140, 0},    {0xA17E, 62},   {0xA1A1, 63},
                                              {0xA1FE, 156},  {0xA240, 157},  {0xA4A4, 537},
                                              {0xBBB9, 4169}, {0xF9FE, 13972}};
    for (const auto& [code, n] : found) {
        EXPECT_EQ(GlyphRead(&CHsdFontProcessImpl::Transfer950FontCode, code, kBig5Fill, 0), n)
            << std::hex << code;
    }
    for (unsigned code : {0xA180u, 0xA1A0u, 0xA13Fu, 0xF9FFu, 0x8140u, 0xFA40u}) {
        EXPECT_EQ(GlyphRead(&CHsdFontProcessImpl::Transfer950FontCode, code, kBig5Fill, E_FAIL), -1)
            << std::hex << code;
    }
}

TEST_F(FontConversion, Gb2312GlyphIndexFollowsTheRowsOf94Cells) {
    const std::pair<unsigned, int> found[] = {
        {0xA1A1, 0}, {0xA1FE, 93}, {0xA2A1, 94}, {0xC3C7, 3234}, {0xF7FE, 8177}};
    for (const auto& [code, n] : found) {
        EXPECT_EQ(GlyphRead(&CHsdFontProcessImpl::Transfer936FontCode, code, kGbFill, 0), n)
            << std::hex << code;
    }
    for (unsigned code : {0xA1A0u, 0xB040u, 0xF7FFu, 0xF8A1u, 0xA0A1u}) {
        EXPECT_EQ(GlyphRead(&CHsdFontProcessImpl::Transfer936FontCode, code, kGbFill, E_FAIL), -1)
            << std::hex << code;
    }
}

TEST_F(FontConversion, ShiftJisGlyphIndexPacksTheUsedRows) {
    const std::pair<unsigned, int> found[] = {
        {0x8140, 0},    {0x8141, 1},    {0x817F, 63},   {0x82A0, 280},  {0x84F7, 735},
        {0x889F, 736},  {0x88FE, 831},  {0x8940, 832},  {0x9289, 2606}, {0x9FFC, 5178},
        {0xE040, 5179}, {0xEAA4, 7169}, {0xED40, 7170}, {0xFA40, 7548}, {0xFC4B, 7937}};
    for (const auto& [code, n] : found) {
        EXPECT_EQ(GlyphRead(&CHsdFontProcessImpl::Transfer932FontCode, code, kSjisFill, 0), n)
            << std::hex << code;
    }
    for (unsigned code : {0x8540u, 0x8740u, 0x889Eu, 0x84F8u, 0x8A3Fu, 0x9FFDu, 0xEAA5u, 0xEB40u,
                          0xEF40u, 0xFC4Cu, 0xF040u, 0x8130u}) {
        EXPECT_EQ(GlyphRead(&CHsdFontProcessImpl::Transfer932FontCode, code, kSjisFill, E_FAIL), -1)
            << std::hex << code;
    }
}

TEST_F(FontConversion, UnicodeToCodeTriesBig5ThenShiftJisThenGb2312) {
    struct Case {
        unsigned unicode;
        unsigned code;
        int table;
    };
    const Case cases[] = {
        {0x4E2D, 0xA4A4, 1},  // Big5 first
        {0x00A7, 0xA1B1, 1},  // the first entry of the Big5 table
        {0x3042, 0x82A0, 3},  // kana: Shift-JIS only
        {0x4E01, 0x9289, 3},  // a Big5 entry with a zero byte is no mapping
        {0x4EEC, 0xC3C7, 2},  // simplified: GB2312 only
        {0x00A4, 0xA1E8, 2},  // below the start of the Big5 and Shift-JIS tables
    };
    for (const Case& c : cases) {
        unsigned char buffer[2] = {static_cast<unsigned char>(c.unicode >> 8),
                                   static_cast<unsigned char>(c.unicode)};
        EXPECT_EQ(h.font.TransferUnicodeToCode(buffer), 0) << std::hex << c.unicode;
        EXPECT_EQ(static_cast<unsigned>(buffer[0] << 8 | buffer[1]), c.code)
            << std::hex << c.unicode;
        EXPECT_EQ(h.font.LastCodeTable(), c.table) << std::hex << c.unicode;
    }
    unsigned char unmapped[2] = {0x12, 0x34};
    EXPECT_EQ(h.font.TransferUnicodeToCode(unmapped), E_FAIL);
    EXPECT_EQ(unmapped[0], 0x12);
    EXPECT_EQ(unmapped[1], 0x34);
    EXPECT_EQ(h.font.LastCodeTable(), -1);
    unsigned char belowEveryTable[2] = {0x00, 0x41};
    EXPECT_EQ(h.font.TransferUnicodeToCode(belowEveryTable), E_FAIL);
}

TEST_F(FontConversion, LatinTableCoversWindows1252AndTheTurkishLetters) {
    auto latin = [this](unsigned unicode, std::int32_t* code) {
        const unsigned char ucs2[2] = {static_cast<unsigned char>(unicode >> 8),
                                       static_cast<unsigned char>(unicode)};
        return h.font.TransferUnicodeToLatin(ucs2, code);
    };
    std::int32_t code = -1;
    for (unsigned unicode : {0x00u, 0x41u, 0x7Fu, 0xA0u, 0xE7u, 0xFFu}) {
        EXPECT_EQ(latin(unicode, &code), 1);
        EXPECT_EQ(code, static_cast<std::int32_t>(unicode));
    }
    const std::pair<unsigned, int> table[] = {
        {0x20AC, 0x80}, {0x015E, 0x81}, {0x015F, 0x81}, {0x0130, 0x8D}, {0x0131, 0x8F},
        {0x011F, 0x90}, {0x011E, 0x9D}, {0x2122, 0x99}, {0x0178, 0x9F}, {0x2014, 0x97}};
    for (const auto& [unicode, expected] : table) {
        EXPECT_EQ(latin(unicode, &code), 1) << std::hex << unicode;
        EXPECT_EQ(code, expected) << std::hex << unicode;
    }
    for (unsigned unicode : {0x80u, 0x9Fu, 0x100u, 0x4E2Du, 0x03B1u}) {
        code = -1;
        EXPECT_EQ(latin(unicode, &code), 0) << std::hex << unicode;
        EXPECT_EQ(code, 0x20);
    }
}

TEST_F(FontConversion, AsciiWordIsOneMarkerAndAlternatingPhases) {
    EXPECT_EQ(h.Convert("Hello"), Join({Marker(0x70), Data("Hello")}));
    ASSERT_EQ(h.Convert("Hello").size(), 6u);
    EXPECT_EQ(h.Convert("Hello")[5], Item('o', 0));
}

TEST_F(FontConversion, LatinCharacterBetweenAsciiSwitchesModes) {
    const auto glyph = NumberedGlyph(0xE7, 16, kLatinFill);
    EXPECT_EQ(h.Convert("A\xC3\xA7"
                        "B"),
              Join({Marker(0x70), Data("A"), Marker(0xDE), Data(glyph), Marker(0x70), Data("B")}));
}

TEST_F(FontConversion, LatinRunContinuesThePhaseAcrossCharacters) {
    // Two Latin glyphs are 32 items: the second starts at phase 0 again only
    // because 16 is even; a third character after one Latin glyph proves the
    // run shares one marker.
    const auto items = h.Convert("\xC3\xA7\xC3\xA9");
    const auto expected = Join({Marker(0xDE), Data([] {
                                    auto both = NumberedGlyph(0xE7, 16, kLatinFill);
                                    const auto second = NumberedGlyph(0xE9, 16, kLatinFill);
                                    both.insert(both.end(), second.begin(), second.end());
                                    return both;
                                }())});
    EXPECT_EQ(items, expected);
}

TEST_F(FontConversion, TurkishLettersUseTheirLatinCodesAndShareTheSCedilla) {
    const auto upper = h.Convert("\xC5\x9E");  // U+015E
    const auto lower = h.Convert("\xC5\x9F");  // U+015F
    EXPECT_EQ(upper, lower);
    EXPECT_EQ(upper, Join({Marker(0xDE), Data(NumberedGlyph(0x81, 16, kLatinFill))}));
    EXPECT_EQ(h.Convert("\xC4\xB0"),  // U+0130, capital I with dot
              Join({Marker(0xDE), Data(NumberedGlyph(0x8D, 16, kLatinFill))}));
}

TEST_F(FontConversion, DoubleByteGlyphsComeFromTheTableThatMappedThem) {
    // 中 (Big5 A4A4), あ (Shift-JIS 82A0), 们 (GB2312 C3C7), then an unmapped
    // character as a blank cell; each glyph restarts the phase.
    const auto items = h.Convert("\xE4\xB8\xAD\xE3\x81\x82\xE4\xBB\xAC\xE4\xB8\x80");
    const auto expected =
        Join({Marker(0x71), Data(NumberedGlyph(537, 32, kBig5Fill)),
              Data(NumberedGlyph(280, 32, kSjisFill)), Data(NumberedGlyph(3234, 32, kGbFill)),
              Data(std::vector<unsigned char>(32, 0))});
    EXPECT_EQ(items, expected);
    // A two-byte UTF-8 character outside the Latin table is a double-byte glyph too.
    EXPECT_EQ(h.Convert("\xCE\xB1"), Join({Marker(0x71), Data(NumberedGlyph(318, 32, kBig5Fill))}));
}

TEST_F(FontConversion, LineEndsAtThe32ndUnit) {
    const std::string zhong = "\xE4\xB8\xAD";
    const auto glyph = Data(NumberedGlyph(537, 32, kBig5Fill));

    auto items = h.Convert(Repeat(zhong, 17));
    EXPECT_EQ(items.size(), 513u) << "16 glyphs and one marker";

    items = h.Convert(std::string(31, 'x') + zhong + "y");
    EXPECT_EQ(items, Join({Marker(0x70), Data(std::string(31, 'x')), Marker(0x71), glyph}))
        << "the glyph that crosses 32 units is still written";

    items = h.Convert(std::string(32, 'x') + zhong);
    EXPECT_EQ(items, Join({Marker(0x70), Data(std::string(32, 'x'))}));

    items = h.Convert(std::string(40, 'x'));
    EXPECT_EQ(items.size(), 33u);
}

TEST_F(FontConversion, DecoderLooksOnlyAtTheTopBitOfFollowingBytes) {
    // 0xE4 0xF8 0xAD: 0xF8 has its top bit set, so it continues the sequence
    // although it is no 10xxxxxx byte; the value is formed from its low bits.
    const auto loose = h.Convert("\xE4\xF8\xAD");
    const auto strict = h.Convert("\xE4\xB8\xAD");
    EXPECT_EQ(loose, strict);
    // A lone continuation byte is a one-byte character, sent as it is.
    EXPECT_EQ(h.Convert("\x80"), Join({Marker(0x70), Data(std::vector<unsigned char>{0x80})}));
}

TEST_F(FontConversion, MalformedSequencesAreSkippedAndFourByteOnesAreBlankCells) {
    // A sequence that ends too early is skipped, and the first byte that does
    // not continue it starts the next character.
    EXPECT_EQ(h.Convert("\xC3"
                        "A"),
              Join({Marker(0x70), Data("A")}));
    EXPECT_EQ(h.Convert("\xE4\xB8"
                        "A"),
              Join({Marker(0x70), Data("A")}))
        << "the partial sequence goes as a whole";
    EXPECT_EQ(h.Convert("\xF0\x9F\x98"
                        "A"),
              Join({Marker(0x70), Data("A")}));
    EXPECT_EQ(h.Convert("A\xF0\x9F\x98\x80"
                        "B"),
              Join({Marker(0x70), Data("A"), Marker(0x71), Data(std::vector<unsigned char>(32, 0)),
                    Marker(0x70), Data("B")}));
    // Sixteen four-byte characters fill the line with blank cells.
    EXPECT_EQ(h.Convert(Repeat("\xF0\x9F\x98\x80", 20)).size(), 513u);
    // Sequences cut short by the end of the text are not read past it.
    for (const char* cut : {"A\xF0", "A\xF0\x9F", "A\xF0\x9F\x98", "A\xE4", "A\xE4\xB8", "A\xC3"}) {
        EXPECT_EQ(h.Convert(cut), Join({Marker(0x70), Data("A")})) << cut;
    }
}

TEST_F(FontConversion, TextOfOnlyMalformedBytesLeavesAnEmptyStreamThatShowsTheFallback) {
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("\xF0\x9F\x98"), 0);
    EXPECT_EQ(h.Send(E_FAIL), Join({Marker(0x70), Data("Unknown User...")}));
}

TEST_F(FontConversion, EmptyOrNullTextFailsAndKeepsThePendingStream) {
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("abc"), 0);
    EXPECT_EQ(h.font.UTF_8ToUnicodeToFontCode(""), E_FAIL);
    EXPECT_EQ(h.font.UTF_8ToUnicodeToFontCode(nullptr), E_FAIL);
    EXPECT_EQ(h.Send(), Join({Marker(0x70), Data("abc")}));
}

TEST_F(FontConversion, Unicode2FontCodeTakesAsciiBytesAndTwoByteValues) {
    const unsigned char text[] = {'A', 0x8A, 0x9E, 'B', 0};
    ASSERT_EQ(h.font.Unicode2FontCode(text), 0);
    EXPECT_EQ(h.Send(), Join({Marker(0x70), Data("A"), Marker(0x71),
                              Data(NumberedGlyph(4169, 32, kBig5Fill)), Marker(0x70), Data("B")}));
    // A value cut short by the end of the text ends the conversion.
    const unsigned char cut[] = {'A', 0x8A, 0};
    ASSERT_EQ(h.font.Unicode2FontCode(cut), 0);
    EXPECT_EQ(h.Send(), Join({Marker(0x70), Data("A")}));
    // Same 32-unit line as the UTF-8 conversion.
    std::vector<unsigned char> long_text;
    for (int i = 0; i < 20; ++i) {
        long_text.insert(long_text.end(), {0x8A, 0x9E});
    }
    long_text.push_back(0);
    ASSERT_EQ(h.font.Unicode2FontCode(long_text.data()), 0);
    EXPECT_EQ(h.Send().size(), 513u);
    const unsigned char empty[] = {0};
    EXPECT_EQ(h.font.Unicode2FontCode(empty), E_FAIL);
}

TEST_F(FontConversion, Utf8ToCodePageTextForMenus) {
    unsigned char out[64] = {};
    // ASCII as is, a two-byte character as its low byte, 中 as its Big5
    // code, an unmapped character as nothing, a four-byte one as nothing.
    ASSERT_EQ(h.font.UTF_8ToUnicode2Font("A\xC3\xA9\xE4\xB8\xAD\xE4\xB8\x80\xF0\x9F\x98\x80Z", out),
              0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "A\xE9\xA4\xA4Z");

    // Stops once 32 bytes are written: a double-byte code may make it 33.
    std::memset(out, 0, sizeof out);
    const std::string text = std::string(31, 'x') + "\xE4\xB8\xAD" + "yyyy";
    ASSERT_EQ(h.font.UTF_8ToUnicode2Font(text.c_str(), out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), std::string(31, 'x') + "\xA4\xA4");

    std::memset(out, 0, sizeof out);
    ASSERT_EQ(h.font.UTF_8ToUnicode2Font(std::string(100, 'q').c_str(), out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), std::string(32, 'q'));
}

TEST_F(FontConversion, Utf8ToCodePageTextEmptiesThePendingStream) {
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("abc"), 0);
    unsigned char out[34] = {};
    ASSERT_EQ(h.font.UTF_8ToUnicode2Font("x", out), 0);
    EXPECT_EQ(h.Send(E_FAIL), Join({Marker(0x70), Data("Unknown User...")}));
}

TEST_F(FontConversion, CodePageTextBackToUtf8) {
    unsigned char out[255] = {};
    ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8("A\xA4\xA4"
                                              "B",
                                              out),
              0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)),
              "A\xE4\xB8\xAD"
              "B");
    EXPECT_EQ(h.font.LastCodeTable(), 1);

    std::memset(out, 0, sizeof out);
    ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8("\xC3\xC7", out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "\xE4\xBB\xAC");
    EXPECT_EQ(h.font.LastCodeTable(), 2);

    std::memset(out, 0, sizeof out);
    ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8("\xE0\x40", out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "\xE6\xBC\xBE");
    EXPECT_EQ(h.font.LastCodeTable(), 3);
}

TEST_F(FontConversion, CodePageCharactersWithAZeroByteOrBelowU0800StayValidUtf8) {
    unsigned char out[255] = {};
    // U+4E00 has a zero low byte and is still a mapping.
    ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8("\xA4\x40", out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "\xE4\xB8\x80");
    // U+03B1 is written in its two-byte form, not an overlong three-byte one.
    std::memset(out, 0, sizeof out);
    ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8("\xA3\x44", out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "\xCE\xB1");
}

TEST_F(FontConversion, UnknownCodeDropsItsLeadByteOnly) {
    unsigned char out[255] = {};
    // 0x81 0x41 is in no inverse table: 0x81 is dropped and 'A' is kept.
    ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8("\x81\x41\xA4\xA4", out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "A\xE4\xB8\xAD");
    // A lead byte at the end of the text is dropped without reading past it.
    std::memset(out, 0, sizeof out);
    ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8("B\xA4", out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "B");
}

TEST_F(FontConversion, CodePageToUtf8NeverFillsMoreThanTheTextBuffer) {
    // 200 Big5 characters would be 600 UTF-8 bytes; the result stops at the
    // last whole character that fits in 254 bytes.
    std::vector<unsigned char> out(700, 0);
    ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8(Repeat("\xA4\xA4", 200).c_str(), out.data()), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), Repeat("\xE4\xB8\xAD", 84));
    std::fill(out.begin(), out.end(), 0);
    ASSERT_EQ(h.font.FontCodeToUnicodeToUTF_8(std::string(300, 'a').c_str(), out.data()), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), std::string(254, 'a'));
}

TEST_F(FontConversion, CodePageToUtf8FailsWhenAnInverseTableIsMissing) {
    TempFolder partial;
    for (const char* name : {"TI0Inv.bin", "TI6Inv.bin"}) {
        std::filesystem::copy_file(std::filesystem::path(folder_->str()) / name,
                                   partial.path() / name);
    }
    ASSERT_EQ(h.font.InitialFontTable(partial.str().c_str()), 0);
    unsigned char out[255] = {};
    EXPECT_EQ(h.font.FontCodeToUnicodeToUTF_8("A", out), E_FAIL);
    EXPECT_EQ(out[0], 0);
}

TEST_F(FontConversion, MissingFilesLeaveAsciiWorkingAndCharactersBlank) {
    TempFolder empty;
    ASSERT_EQ(h.font.InitialFontTable(empty.str().c_str()), 0);
    EXPECT_EQ(h.Convert("A\xE4\xB8\xAD\xC3\xA7"),
              Join({Marker(0x70), Data("A"), Marker(0x71), Data(std::vector<unsigned char>(32, 0)),
                    Marker(0xDE), Data(std::vector<unsigned char>(16, 0))}));
    unsigned char glyph[32] = {};
    const unsigned char code[2] = {0xA4, 0xA4};
    EXPECT_EQ(h.font.Transfer950FontCode(code, glyph), E_FAIL);
}

TEST_F(FontConversion, ValidCodeBeyondAShortGlyphFileSucceedsAndLeavesTheBuffer) {
    TempFolder shortFiles;
    shortFiles.Write("TCF0.bin", NumberedGlyphs(10, 32, kBig5Fill));
    ASSERT_EQ(h.font.InitialFontTable(shortFiles.str().c_str()), 0);
    const unsigned char code[2] = {0xA4, 0xA4};
    unsigned char glyph[32];
    std::memset(glyph, 0xEE, sizeof glyph);
    EXPECT_EQ(h.font.Transfer950FontCode(code, glyph), 0);
    EXPECT_EQ(glyph[0], 0xEE);
}

TEST_F(FontConversion, FilesOpenFromTheCurrentFolderWithoutAFolderName) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder_->path());
    CHsdFontProcessImpl font;
    font.InitialFontTable(nullptr);
    std::filesystem::current_path(previous);
    unsigned char buffer[2] = {0x4E, 0x2D};
    EXPECT_EQ(font.TransferUnicodeToCode(buffer), 0);
    EXPECT_EQ(buffer[0], 0xA4);
}

TEST_F(FontConversion, LatinGlyphLookupReadsOnlyTheGlyphsInTheFile) {
    std::array<unsigned char, 16> glyph;
    glyph.fill(0xEE);
    h.font.TransferLatinFontCode(0x8D, glyph.data());
    EXPECT_EQ(std::vector<unsigned char>(glyph.begin(), glyph.end()),
              NumberedGlyph(0x8D, 16, kLatinFill));
    for (std::int32_t code : {-1, 256, 100000}) {
        glyph.fill(0xEE);
        h.font.TransferLatinFontCode(code, glyph.data());
        EXPECT_EQ(glyph[0], 0xEE) << code;
    }
}

TEST(FontHexToInt, BigEndianValueOfUpToFourBytes) {
    CHsdFontProcessImpl font;
    const unsigned char bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
    std::int32_t value = -1;
    EXPECT_EQ(font.HexToInt(bytes, 1, &value), 0);
    EXPECT_EQ(value, 0x12);
    EXPECT_EQ(font.HexToInt(bytes, 2, &value), 0);
    EXPECT_EQ(value, 0x1234);
    EXPECT_EQ(font.HexToInt(bytes, 4, &value), 0);
    EXPECT_EQ(value, 0x12345678);
    value = 7;
    EXPECT_EQ(font.HexToInt(bytes, 5, &value), E_FAIL);
    EXPECT_EQ(font.HexToInt(bytes, 0, &value), E_FAIL);
    EXPECT_EQ(value, 7);
}

}  // namespace

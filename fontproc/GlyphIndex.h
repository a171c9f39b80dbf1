// Where a double-byte code's 16x16 glyph sits in its glyph file ("TCF0.bin",
// "TCF6.bin", "TCF2.bin"), and the other fixed geometry of the font files.
// Shared by the font library and the generator that writes the files.
#pragma once

namespace fontfiles {

inline constexpr int kWideGlyphBytes = 32;   // 16x16: two pages of 16 column bytes
inline constexpr int kLatinGlyphBytes = 16;  // 8x16: two pages of 8 column bytes
inline constexpr int kLatinGlyphCount = 256;

// Entry bases of the tables keyed by a UCS-2 value or a double-byte code.
inline constexpr long kBig5UnicodeBase = 0xA7;        // "TIF0.bin"
inline constexpr long kShiftJisUnicodeBase = 0xA7;    // "TIF2.bin"
inline constexpr long kGb2312UnicodeBase = 0xA4;      // "TIF6.bin"
inline constexpr long kBig5InverseBase = 0xA140;      // "TI0Inv.bin"
inline constexpr long kGb2312InverseBase = 1;         // "TI6Inv.bin"
inline constexpr long kShiftJisInverseBase = 0xA140;  // "TI2Inv.bin"

inline constexpr int kBig5GlyphCount = (0xF9 - 0xA1 + 1) * 157;
inline constexpr int kGb2312GlyphCount = (0xF7 - 0xA1 + 1) * 94;
inline constexpr int kShiftJisGlyphCount = 7926 + 12;

// Big5 (code page 950): 157 cells per lead byte, trail 0x40-0x7E then 0xA1-0xFE.
constexpr int Big5GlyphIndex(unsigned code) {
    if (code < 0xA140 || code > 0xF9FE) {
        return -1;
    }
    const unsigned lead = code >> 8;
    const unsigned trail = code & 0xFF;
    int t = 0;
    if (trail >= 0x40 && trail <= 0x7E) {
        t = static_cast<int>(trail) - 0x40;
    } else if (trail >= 0xA1) {
        t = static_cast<int>(trail) - 0x62;
    } else {
        return -1;
    }
    return static_cast<int>(lead - 0xA1) * 157 + t;
}

// GB2312 (code page 936): 94 cells per lead byte, trail 0xA1-0xFE.
constexpr int Gb2312GlyphIndex(unsigned code) {
    if (code < 0xA1A1 || code > 0xF7FE) {
        return -1;
    }
    const unsigned lead = code >> 8;
    const unsigned trail = code & 0xFF;
    if (trail < 0xA1) {
        return -1;
    }
    return static_cast<int>(lead - 0xA1) * 94 + static_cast<int>(trail - 0xA1);
}

// Shift-JIS (code page 932): the rows that hold symbols, kana and kanji, packed.
constexpr int ShiftJisGlyphIndex(unsigned code) {
    if (code < 0x8140 || code > 0xFC4B) {
        return -1;
    }
    const int lead = static_cast<int>(code >> 8);
    const int trail = static_cast<int>(code & 0xFF);
    const int r = trail - 0x40;
    const bool fullRow = trail >= 0x40 && trail <= 0xFC;
    if (lead >= 0x81 && lead <= 0x84 && trail >= 0x40 && trail <= 0xF7) {
        return (lead - 0x81) * 184 + r;
    }
    if (lead == 0x88 && trail >= 0x9F && trail <= 0xFE) {
        return 736 + (trail - 0x9F);
    }
    if (lead >= 0x89 && lead <= 0x9F && fullRow) {
        return 832 + (lead - 0x89) * 189 + r;
    }
    if (lead >= 0xE0 && lead <= 0xE9 && fullRow) {
        return 5179 + (lead - 0xE0) * 189 + r;
    }
    if (lead == 0xEA && trail >= 0x40 && trail <= 0xA4) {
        return 7069 + r;
    }
    if (lead >= 0xED && lead <= 0xEE && fullRow) {
        return 7170 + (lead - 0xED) * 189 + r;
    }
    if (lead >= 0xFA && lead <= 0xFB && fullRow) {
        return 7548 + (lead - 0xFA) * 189 + r;
    }
    if (lead == 0xFC && trail >= 0x40 && trail <= 0x4B) {
        return 7926 + r;
    }
    return -1;
}

}  // namespace fontfiles

// fontgen: writes the font data files of HsdFontProcessLib from GNU Unifont's
// .hex glyphs and the system's iconv tables for code pages 950, 936 and 932.
//
//   fontgen <unifont.hex> <unifont_jp.hex> <output folder>
//
// Glyphs are turned into the LCD's layout: a page holds eight pixel rows, one
// byte per column, least significant bit at the top; a 16x16 glyph is page
// rows 0-7 (16 column bytes) then page rows 8-15, an 8x16 glyph the same with
// 8 columns. Every table entry that has no mapping is left zero.
#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "GlyphIndex.h"
#include "LatinTable.h"

namespace {

using namespace fontfiles;

// One Unifont glyph: width 0 (absent), 8 or 16; rows with the leftmost pixel
// in the most significant bit of the width.
struct HexGlyph {
    int width = 0;
    std::array<std::uint16_t, 16> rows{};
};
using HexFont = std::vector<HexGlyph>;  // indexed by BMP code point

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool LoadHex(const char* path, HexFont& font) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "fontgen: cannot read %s\n", path);
        return false;
    }
    font.assign(0x10000, HexGlyph{});
    std::string line;
    while (std::getline(in, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon > 6) {
            continue;
        }
        const unsigned long cp = std::strtoul(line.substr(0, colon).c_str(), nullptr, 16);
        const std::string bits = line.substr(colon + 1);
        const int width = bits.size() == 32 ? 8 : bits.size() == 64 ? 16 : 0;
        if (cp > 0xFFFF || width == 0) {
            continue;
        }
        HexGlyph glyph;
        glyph.width = width;
        const int digitsPerRow = width / 4;
        bool ok = true;
        for (int row = 0; row < 16 && ok; ++row) {
            std::uint16_t value = 0;
            for (int d = 0; d < digitsPerRow; ++d) {
                const int digit = HexDigit(bits[row * digitsPerRow + d]);
                ok = ok && digit >= 0;
                value = static_cast<std::uint16_t>(value << 4 | (digit & 0xF));
            }
            glyph.rows[row] = value;
        }
        if (ok) {
            font[cp] = glyph;
        }
    }
    return true;
}

bool Pixel(const HexGlyph& glyph, int row, int column) {
    return (glyph.rows[row] >> (glyph.width - 1 - column)) & 1;
}

// A 16x16 cell; a half-width glyph is centred in it.
std::array<unsigned char, kWideGlyphBytes> WideCell(const HexGlyph& glyph) {
    std::array<unsigned char, kWideGlyphBytes> out{};
    const int offset = glyph.width == 8 ? 4 : 0;
    for (int page = 0; page < 2; ++page) {
        for (int column = 0; column < glyph.width; ++column) {
            unsigned char byte = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if (Pixel(glyph, page * 8 + bit, column)) {
                    byte = static_cast<unsigned char>(byte | 1u << bit);
                }
            }
            out[page * 16 + offset + column] = byte;
        }
    }
    return out;
}

std::array<unsigned char, kLatinGlyphBytes> LatinCell(const HexGlyph& glyph) {
    std::array<unsigned char, kLatinGlyphBytes> out{};
    if (glyph.width != 8) {
        return out;
    }
    for (int page = 0; page < 2; ++page) {
        for (int column = 0; column < 8; ++column) {
            unsigned char byte = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if (Pixel(glyph, page * 8 + bit, column)) {
                    byte = static_cast<unsigned char>(byte | 1u << bit);
                }
            }
            out[page * 8 + column] = byte;
        }
    }
    return out;
}

// A conversion between UCS-2 (big-endian) and one code page.
class CodePage {
public:
    explicit CodePage(const char* name)
        : encode_(iconv_open(name, "UCS-2BE")), decode_(iconv_open("UCS-2BE", name)) {}
    ~CodePage() {
        if (ok()) {
            iconv_close(encode_);
            iconv_close(decode_);
        }
    }
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    bool ok() const { return encode_ != kBad && decode_ != kBad; }

    // The double-byte code of a character, or 0 when it has none.
    unsigned Encode(unsigned unicode) {
        char in[2] = {static_cast<char>(unicode >> 8), static_cast<char>(unicode & 0xFF)};
        char out[8];
        const std::size_t written = Run(encode_, in, 2, out, sizeof out);
        if (written != 2) {
            return 0;
        }
        return static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]);
    }

    // The character of a double-byte code, or 0 when it has none.
    unsigned Decode(unsigned code) {
        char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        char out[8];
        if (Run(decode_, in, 2, out, sizeof out) != 2) {
            return 0;
        }
        return static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]);
    }

private:
    static inline const iconv_t kBad = reinterpret_cast<iconv_t>(-1);

    // Converts the whole input or fails (returns 0); else the bytes written.
    static std::size_t Run(iconv_t cd, char* in, std::size_t inSize, char* out,
                           std::size_t outSize) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = in;
        char* outPtr = out;
        std::size_t inLeft = inSize;
        std::size_t outLeft = outSize;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
            inLeft != 0) {
            return 0;
        }
        return outSize - outLeft;
    }

    iconv_t encode_;
    iconv_t decode_;
};

bool IsPrivateUse(unsigned unicode) {
    return unicode >= 0xE000 && unicode <= 0xF8FF;
}
bool IsSurrogate(unsigned unicode) {
    return unicode >= 0xD800 && unicode <= 0xDFFF;
}

void Put16(std::vector<unsigned char>& file, std::size_t index, unsigned value) {
    file[index * 2] = static_cast<unsigned char>(value >> 8);
    file[index * 2 + 1] = static_cast<unsigned char>(value & 0xFF);
}

bool WriteFile(const std::string& folder, const char* name,
               const std::vector<unsigned char>& bytes) {
    const std::string path = folder + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "fontgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// One double-byte code page and the three files drawn from it.
struct CodePageFiles {
    const char* iconvName;
    int (*glyphIndex)(unsigned code);
    int glyphCount;
    const HexFont* preferredFont;  // tried before Unifont's own glyphs
    const char* forwardName;       // UCS-2 -> code
    long forwardBase;
    const char* inverseName;  // code -> UCS-2
    long inverseBase;
    const char* glyphName;
};

bool WriteCodePage(const CodePageFiles& files, const HexFont& unifont, const std::string& folder,
                   int& mapped, int& drawn) {
    CodePage cp(files.iconvName);
    if (!cp.ok()) {
        std::fprintf(stderr, "fontgen: iconv has no %s\n", files.iconvName);
        return false;
    }
    // The inverse table reaches up to the last code that has a glyph.
    unsigned lastCode = 0;
    for (unsigned code = 0x8000; code <= 0xFFFF; ++code) {
        if (files.glyphIndex(code) >= 0) {
            lastCode = code;
        }
    }
    std::vector<unsigned char> glyphs(static_cast<std::size_t>(files.glyphCount) * kWideGlyphBytes);
    std::vector<unsigned char> inverse(static_cast<std::size_t>(lastCode - files.inverseBase + 1) *
                                       2);
    std::vector<unsigned char> forward(static_cast<std::size_t>(0x10000 - files.forwardBase) * 2);

    for (unsigned code = 0x8000; code <= lastCode; ++code) {
        const int n = files.glyphIndex(code);
        if (n < 0) {
            continue;
        }
        const unsigned unicode = cp.Decode(code);
        if (unicode == 0 || IsPrivateUse(unicode)) {
            continue;
        }
        if (static_cast<long>(code) >= files.inverseBase) {
            Put16(inverse, code - files.inverseBase, unicode);
        }
        const HexGlyph* glyph = nullptr;
        if (files.preferredFont != nullptr && (*files.preferredFont)[unicode].width != 0) {
            glyph = &(*files.preferredFont)[unicode];
        } else if (unifont[unicode].width != 0) {
            glyph = &unifont[unicode];
        }
        if (glyph != nullptr) {
            const auto cell = WideCell(*glyph);
            std::memcpy(&glyphs[static_cast<std::size_t>(n) * kWideGlyphBytes], cell.data(),
                        cell.size());
            ++drawn;
        }
    }
    for (unsigned unicode = static_cast<unsigned>(files.forwardBase); unicode <= 0xFFFF;
         ++unicode) {
        if (IsSurrogate(unicode) || IsPrivateUse(unicode)) {
            continue;
        }
        const unsigned code = cp.Encode(unicode);
        if (code != 0 && files.glyphIndex(code) >= 0) {
            Put16(forward, unicode - files.forwardBase, code);
            ++mapped;
        }
    }
    return WriteFile(folder, files.forwardName, forward) &&
           WriteFile(folder, files.inverseName, inverse) &&
           WriteFile(folder, files.glyphName, glyphs);
}

// "Turkey_8x16.bin" (256 glyphs) and "TurkeyInx.bin", the UCS-2 value each
// Latin code draws, high byte first (0 for the control codes).
bool WriteLatin(const HexFont& unifont, const std::string& folder) {
    std::array<unsigned, kLatinGlyphCount> unicodeOf{};
    for (unsigned code = 0x20; code < 0x7F; ++code) {
        unicodeOf[code] = code;
    }
    for (unsigned code = 0xA0; code <= 0xFF; ++code) {
        unicodeOf[code] = code;
    }
    for (const LatinEntry& entry : kLatinTable) {
        if (unicodeOf[entry.code] == 0) {
            unicodeOf[entry.code] = entry.unicode;
        }
    }
    std::vector<unsigned char> glyphs(kLatinGlyphCount * kLatinGlyphBytes);
    std::vector<unsigned char> index(kLatinGlyphCount * 2);
    for (unsigned code = 0; code < kLatinGlyphCount; ++code) {
        if (unicodeOf[code] == 0) {
            continue;
        }
        Put16(index, code, unicodeOf[code]);
        const auto cell = LatinCell(unifont[unicodeOf[code]]);
        std::memcpy(&glyphs[code * kLatinGlyphBytes], cell.data(), cell.size());
    }
    return WriteFile(folder, "Turkey_8x16.bin", glyphs) &&
           WriteFile(folder, "TurkeyInx.bin", index);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fontgen <unifont.hex> <unifont_jp.hex> <output folder>\n");
        return 2;
    }
    HexFont unifont;
    HexFont unifontJp;
    if (!LoadHex(argv[1], unifont) || !LoadHex(argv[2], unifontJp)) {
        return 1;
    }
    const std::string folder = argv[3];
    const CodePageFiles pages[] = {
        {"CP950", Big5GlyphIndex, kBig5GlyphCount, nullptr, "TIF0.bin", kBig5UnicodeBase,
         "TI0Inv.bin", kBig5InverseBase, "TCF0.bin"},
        {"CP936", Gb2312GlyphIndex, kGb2312GlyphCount, nullptr, "TIF6.bin", kGb2312UnicodeBase,
         "TI6Inv.bin", kGb2312InverseBase, "TCF6.bin"},
        {"CP932", ShiftJisGlyphIndex, kShiftJisGlyphCount, &unifontJp, "TIF2.bin",
         kShiftJisUnicodeBase, "TI2Inv.bin", kShiftJisInverseBase, "TCF2.bin"},
    };
    for (const CodePageFiles& page : pages) {
        int mapped = 0;
        int drawn = 0;
        if (!WriteCodePage(page, unifont, folder, mapped, drawn)) {
            return 1;
        }
        std::printf("fontgen: %s: %d characters mapped, %d glyphs drawn\n", page.iconvName, mapped,
                    drawn);
    }
    return WriteLatin(unifont, folder) ? 0 : 1;
}

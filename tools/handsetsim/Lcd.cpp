#include "Lcd.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace handsetsim {

namespace {

constexpr int kLineUnits = 32;

int Toggle(int phase) {
    return phase == 0 ? 5 : 0;
}

std::string Hex2(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

bool AsciiPixel(const AsciiFont& font, std::uint8_t code, int x, int y) {
    if (!font.Loaded()) {
        // Without a font a character is a small box, so that text still shows
        // where it is.
        if (code == ' ' || code == 0) {
            return false;
        }
        return (y >= 3 && y <= 12) && (x >= 1 && x <= 6) && (y == 3 || y == 12 || x == 1 || x == 6);
    }
    return GlyphPixel(&font.glyphs[static_cast<std::size_t>(code) * 16], 8, x, y);
}

bool CellPixel(const LcdCell& cell, const AsciiFont& font, int x, int y) {
    switch (cell.kind) {
        case CellKind::Ascii:
            return AsciiPixel(font, cell.code, x, y);
        case CellKind::Latin:
            return GlyphPixel(cell.glyph.data(), 8, x, y);
        case CellKind::Wide:
            return GlyphPixel(cell.glyph.data(), 16, x, y);
    }
    return false;
}

std::string StatusLine(const LcdScreen& screen) {
    std::string line;
    auto add = [&line](const std::string& part) {
        if (part.empty()) {
            return;
        }
        if (!line.empty()) {
            line += ' ';
        }
        line += part;
    };
    if (screen.entryMarker >= 0) {
        add(MarkerName(screen.entryMarker));
    }
    add(screen.duration);
    add(screen.time);
    add(screen.timer);
    return line;
}

}  // namespace

int LcdScreen::NameUnits() const {
    int units = 0;
    for (const LcdCell& cell : name) {
        units += cell.Units();
    }
    return units;
}

std::string LcdScreen::NameText() const {
    std::string text;
    for (const LcdCell& cell : name) {
        switch (cell.kind) {
            case CellKind::Ascii:
                if (cell.code >= 0x20 && cell.code < 0x7F) {
                    text += static_cast<char>(cell.code);
                } else if (cell.code != 0) {
                    text += '?';
                }
                break;
            case CellKind::Latin:
                text += '#';
                break;
            case CellKind::Wide:
                text += "##";
                break;
        }
    }
    return text;
}

bool GlyphPixel(const std::uint8_t* glyph, int width, int x, int y) {
    if (x < 0 || x >= width || y < 0 || y >= 16) {
        return false;
    }
    const int page = y / 8;
    return ((glyph[page * width + x] >> (y % 8)) & 1) != 0;
}

std::vector<std::uint8_t> GlyphFromRows(const std::vector<std::uint8_t>& rows, int width) {
    const int bytesPerRow = width / 8;
    std::vector<std::uint8_t> glyph(static_cast<std::size_t>(width) * 2, 0);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t index = static_cast<std::size_t>(y * bytesPerRow + x / 8);
            if (index < rows.size() && ((rows[index] >> (7 - x % 8)) & 1) != 0) {
                glyph[static_cast<std::size_t>((y / 8) * width + x)] |=
                    static_cast<std::uint8_t>(1 << (y % 8));
            }
        }
    }
    return glyph;
}

namespace {

// GNU Unifont's .hex format: "XXXX:" then 32 hex digits for an 8x16 glyph,
// one row byte after the other. Only code points 0-255 of width 8 are taken.
bool LoadUnifontHex(std::ifstream& file, std::vector<std::uint8_t>& glyphs) {
    glyphs.assign(256 * 16, 0);
    int loaded = 0;
    for (std::string line; std::getline(file, line);) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const unsigned long code = std::strtoul(line.substr(0, colon).c_str(), nullptr, 16);
        std::string bits = line.substr(colon + 1);
        while (!bits.empty() && (bits.back() == '\r' || bits.back() == '\n')) {
            bits.pop_back();
        }
        if (code > 255 || bits.size() != 32) {
            continue;
        }
        std::vector<std::uint8_t> rows;
        for (std::size_t i = 0; i < 32; i += 2) {
            rows.push_back(
                static_cast<std::uint8_t>(std::strtoul(bits.substr(i, 2).c_str(), nullptr, 16)));
        }
        const std::vector<std::uint8_t> glyph = GlyphFromRows(rows, 8);
        std::copy(glyph.begin(), glyph.end(),
                  glyphs.begin() + static_cast<std::ptrdiff_t>(code * 16));
        ++loaded;
    }
    return loaded > 0;
}

}  // namespace

bool AsciiFont::Load(const std::string& path) {
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".hex") == 0) {
        std::ifstream hex(path);
        std::vector<std::uint8_t> parsed;
        if (!hex || !LoadUnifontHex(hex, parsed)) {
            return false;
        }
        glyphs = std::move(parsed);
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (bytes.size() < 256 * 16) {
        return false;
    }
    bytes.resize(256 * 16);
    glyphs = std::move(bytes);
    return true;
}

void LcdDecoder::Begin() {
    inTransfer_ = true;
    current_ = LcdScreen{};
    field_ = Field::None;
    mode_ = CellKind::Ascii;
    phase_ = 0;
    pending_.clear();
    items_ = 0;
}

void LcdDecoder::Clear() {
    current_ = LcdScreen{};
    shown_ = LcdScreen{};
}

void LcdDecoder::StartRun(CellKind kind) {
    if (!pending_.empty()) {
        current_.anomalies.push_back("glyph cut short after " + std::to_string(pending_.size()) +
                                     " bytes");
        pending_.clear();
    }
    field_ = Field::Name;
    mode_ = kind;
    phase_ = 0;
}

bool LcdDecoder::Feed(std::uint8_t command, std::uint8_t data) {
    ++items_;
    if (data == 0x0A) {
        switch (command) {
            case 0x1A:
                if (!pending_.empty()) {
                    current_.anomalies.push_back("transfer ended inside a glyph");
                    pending_.clear();
                }
                shown_ = current_;
                inTransfer_ = false;
                ++completed_;
                return true;
            case 0x6A:
            case 0x6B:
            case 0x6D:
            case 0x00:
                current_.entryMarker = command;
                field_ = Field::None;
                return false;
            case 0x81:
                field_ = Field::Duration;
                phase_ = 0;
                return false;
            case 0x80:
                field_ = Field::Time;
                phase_ = 0;
                return false;
            case 0x83:
                field_ = Field::Timer;
                phase_ = 0;
                return false;
            case 0x70:
                StartRun(CellKind::Ascii);
                return false;
            case 0xDE:
                StartRun(CellKind::Latin);
                return false;
            case 0x71:
                StartRun(CellKind::Wide);
                return false;
            default:
                current_.anomalies.push_back("unknown marker " + Hex2(command) + " 0A");
                return false;
        }
    }
    if (command == 0x00 && data == 0x4F) {
        current_ = LcdScreen{};
        current_.notice = true;
        field_ = Field::None;
        return false;
    }
    if (data == 0 || data == 5) {
        Data(command, data);
        return false;
    }
    current_.anomalies.push_back("unexpected item " + Hex2(command) + " " + Hex2(data));
    return false;
}

void LcdDecoder::Data(std::uint8_t byte, std::uint8_t phase) {
    if (phase != phase_) {
        current_.anomalies.push_back("phase " + std::to_string(phase) + " where " +
                                     std::to_string(phase_) + " was due (item " + Hex2(byte) + ")");
    }
    phase_ = Toggle(phase_);
    switch (field_) {
        case Field::Duration:
            current_.duration += static_cast<char>(byte);
            return;
        case Field::Time:
            current_.time += static_cast<char>(byte);
            return;
        case Field::Timer:
            current_.timer += static_cast<char>(byte);
            return;
        case Field::None:
            current_.anomalies.push_back("data item " + Hex2(byte) + " outside any field");
            return;
        case Field::Name:
            break;
    }
    if (mode_ == CellKind::Ascii) {
        LcdCell cell;
        cell.code = byte;
        current_.name.push_back(cell);
        return;
    }
    pending_.push_back(byte);
    const std::size_t size = mode_ == CellKind::Wide ? 32 : 16;
    if (pending_.size() == size) {
        LcdCell cell;
        cell.kind = mode_;
        std::copy(pending_.begin(), pending_.end(), cell.glyph.begin());
        current_.name.push_back(cell);
        pending_.clear();
        if (mode_ == CellKind::Wide) {
            phase_ = 0;
        }
    }
}

std::string MarkerName(int marker) {
    switch (marker) {
        case 0x6A:
            return "IN";
        case 0x6B:
            return "OUT";
        case 0x6D:
            return "MISSED";
        case 0x00:
            return "OTHER";
        default:
            return marker < 0 ? "" : "?" + Hex2(marker);
    }
}

std::string RenderText(const LcdScreen& screen) {
    const std::string status = StatusLine(screen);
    const std::string name = screen.NameText();
    const std::size_t width =
        std::max<std::size_t>({static_cast<std::size_t>(kLineUnits), status.size(), name.size()});
    const std::string border = "+" + std::string(width, '-') + "+\n";
    auto line = [width](const std::string& text) {
        return "|" + text + std::string(width - text.size(), ' ') + "|\n";
    };
    return border + line(status) + line(name) + border;
}

std::string RenderArt(const LcdScreen& screen, const AsciiFont& font) {
    std::string art;
    for (int y = 0; y < 16; ++y) {
        for (const LcdCell& cell : screen.name) {
            const int width = cell.Units() * 8;
            for (int x = 0; x < width; ++x) {
                if (cell.kind == CellKind::Ascii && !font.Loaded()) {
                    const char shown = (cell.code >= 0x20 && cell.code < 0x7F)
                                           ? static_cast<char>(cell.code)
                                           : (cell.code == 0 ? '.' : '?');
                    art += (y == 8 && x == 3) ? shown : '.';
                } else {
                    art += CellPixel(cell, font, x, y) ? '#' : '.';
                }
            }
        }
        art += '\n';
    }
    return art;
}

Bitmap RenderBitmap(const LcdScreen& screen, const AsciiFont& font) {
    const std::string status = StatusLine(screen);
    const int units = std::max({kLineUnits, screen.NameUnits(), static_cast<int>(status.size())});
    Bitmap bitmap;
    bitmap.width = units * 8;
    bitmap.height = 32;
    bitmap.dark.assign(static_cast<std::size_t>(bitmap.width * bitmap.height), 0);
    auto set = [&bitmap](int x, int y) {
        bitmap.dark[static_cast<std::size_t>(y * bitmap.width + x)] = 1;
    };
    for (std::size_t i = 0; i < status.size(); ++i) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 8; ++x) {
                if (AsciiPixel(font, static_cast<std::uint8_t>(status[i]), x, y)) {
                    set(static_cast<int>(i) * 8 + x, y);
                }
            }
        }
    }
    int left = 0;
    for (const LcdCell& cell : screen.name) {
        const int width = cell.Units() * 8;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < width; ++x) {
                if (CellPixel(cell, font, x, y)) {
                    set(left + x, 16 + y);
                }
            }
        }
        left += width;
    }
    return bitmap;
}

std::string EncodePbm(const Bitmap& bitmap) {
    std::string pbm =
        "P1\n" + std::to_string(bitmap.width) + " " + std::to_string(bitmap.height) + "\n";
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            pbm += bitmap.dark[static_cast<std::size_t>(y * bitmap.width + x)] ? '1' : '0';
            pbm += (x + 1 == bitmap.width) ? '\n' : ' ';
        }
    }
    return pbm;
}

namespace {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 24));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void Chunk(std::vector<std::uint8_t>& out, const char* type,
           const std::vector<std::uint8_t>& data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    Put32(out, Crc32(body.data(), body.size()));
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const Bitmap& bitmap, int scale) {
    scale = std::max(1, scale);
    const int width = bitmap.width * scale;
    const int height = bitmap.height * scale;
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>((width + 1) * height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            const bool dark =
                bitmap.dark[static_cast<std::size_t>((y / scale) * bitmap.width + x / scale)] != 0;
            raw.push_back(dark ? 0x20 : 0xD8);
        }
    }
    // zlib stream of stored (uncompressed) deflate blocks.
    std::vector<std::uint8_t> zlib = {0x78, 0x01};
    std::size_t offset = 0;
    do {
        const std::size_t size = std::min<std::size_t>(65535, raw.size() - offset);
        const bool last = offset + size == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<std::uint8_t>(size));
        zlib.push_back(static_cast<std::uint8_t>(size >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~size));
        zlib.push_back(static_cast<std::uint8_t>(~size >> 8));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(offset),
                    raw.begin() + static_cast<std::ptrdiff_t>(offset + size));
        offset += size;
    } while (offset < raw.size());
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    Put32(zlib, (b << 16) | a);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> header;
    Put32(header, static_cast<std::uint32_t>(width));
    Put32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit greyscale
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", zlib);
    Chunk(png, "IEND", {});
    return png;
}

}  // namespace handsetsim

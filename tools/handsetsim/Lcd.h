// The virtual handset's display: decodes the LCD transfers the program sends
// (entry markers, plain-character fields, ASCII / 8x16 Latin / 16x16
// double-byte runs with their phase bytes, end of transfer) into a screen,
// and renders that screen as text, block art, PBM or PNG.
//
// Glyph layout: a 16x16 glyph is 32 bytes in two pages (rows 0-7, then rows
// 8-15), each page 16 column bytes, least significant bit = top row of the
// page; an 8x16 glyph is 16 bytes, two pages of 8 columns.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace handsetsim {

enum class CellKind { Ascii, Latin, Wide };

struct LcdCell {
    CellKind kind = CellKind::Ascii;
    std::uint8_t code = 0;                 // the character (ASCII cells)
    std::array<std::uint8_t, 32> glyph{};  // 16 bytes (Latin) or 32 (Wide)
    int Units() const { return kind == CellKind::Wide ? 2 : 1; }
};

// What one completed (or running) transfer put on the display.
struct LcdScreen {
    bool notice = false;   // the transfer began with (0x00, 0x4F)
    int entryMarker = -1;  // 0x6A, 0x6B, 0x6D or 0x00; -1 without one
    std::string duration;  // after (0x81, 0x0A)
    std::string time;      // after (0x80, 0x0A)
    std::string timer;     // after (0x83, 0x0A)
    std::vector<LcdCell> name;
    // Items that broke the protocol (a wrong phase byte, an unknown marker, a
    // glyph cut short), described in words.
    std::vector<std::string> anomalies;

    int NameUnits() const;
    // The name line as text: ASCII as itself, a Latin glyph as '#', a
    // double-byte glyph as "##".
    std::string NameText() const;
};

// Pixel (x, y) of a glyph in the layout above; width 8 or 16.
bool GlyphPixel(const std::uint8_t* glyph, int width, int x, int y);
// Converts 16 rows of a glyph given row by row (most significant bit = left
// pixel; 1 byte per row for width 8, 2 for width 16) into the LCD layout.
std::vector<std::uint8_t> GlyphFromRows(const std::vector<std::uint8_t>& rows, int width);

// An 8x16 font for the characters the handset draws itself: 256 glyphs of 16
// bytes in the LCD layout (the layout of the Latin glyph table file).
struct AsciiFont {
    std::vector<std::uint8_t> glyphs;  // 256 * 16 bytes, or empty
    bool Loaded() const { return glyphs.size() >= 256 * 16; }
    // A table file of 4096 bytes in that layout, or GNU Unifont's .hex file
    // (a name ending in ".hex"; code points 0-255 are taken).
    bool Load(const std::string& path);
};

class LcdDecoder {
public:
    // A transfer starts (the handset signalled that it is ready).
    void Begin();
    // One transfer item (report bytes 3 and 4); returns true at the end of
    // transfer (0x1A, 0x0A).
    bool Feed(std::uint8_t command, std::uint8_t data);
    bool InTransfer() const { return inTransfer_; }
    // Items fed since Begin.
    int Items() const { return items_; }
    // The phase byte the next data item should carry.
    int ExpectedPhase() const { return phase_; }
    // The screen being written, and the one the last completed transfer left.
    const LcdScreen& Current() const { return current_; }
    const LcdScreen& Shown() const { return shown_; }
    int CompletedTransfers() const { return completed_; }
    // The program refused the transfer: the display stays as it was.
    void Abort() { inTransfer_ = false; }
    // The handset clears its display on (0x00, 0x4F) outside a transfer.
    void Clear();

private:
    enum class Field { None, Duration, Time, Timer, Name };
    void Data(std::uint8_t byte, std::uint8_t phase);
    void StartRun(CellKind kind);

    LcdScreen current_;
    LcdScreen shown_;
    bool inTransfer_ = false;
    Field field_ = Field::None;
    CellKind mode_ = CellKind::Ascii;
    int phase_ = 0;
    std::vector<std::uint8_t> pending_;  // glyph bytes collected so far
    int completed_ = 0;
    int items_ = 0;
};

std::string MarkerName(int marker);

// Two text lines framed: the status line (marker, duration, time or timer)
// and the name line.
std::string RenderText(const LcdScreen& screen);
// The name line as 16 rows of block art ('#' dark, '.' light); ASCII cells are
// drawn with the font when one is loaded, else as the character on row 8.
std::string RenderArt(const LcdScreen& screen, const AsciiFont& font);

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> dark;  // 1 = dark pixel, row by row
};
// 32 units (256 pixels) wide or wider, two lines of 16 pixels.
Bitmap RenderBitmap(const LcdScreen& screen, const AsciiFont& font);
std::string EncodePbm(const Bitmap& bitmap);
// 8-bit greyscale PNG, each pixel drawn scale x scale.
std::vector<std::uint8_t> EncodePng(const Bitmap& bitmap, int scale);

}  // namespace handsetsim

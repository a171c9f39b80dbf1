// fontart: shows how the handset's LCD draws a text, as text art. The text is
// converted by the font component with the font data files, the stream is
// "sent" to a handset that only records it, and the recorded stream is drawn
// with the LCD's rule ('#' for a lit pixel, '.' for a dark one).
//
//   fontart [--folder <font folder>] <UTF-8 text>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "FontPause.h"
#include "HsdFontProcessImpl.h"
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

void NoPause(unsigned) {}

// Appends a glyph of `width` columns (two pages of column bytes, least
// significant bit at the top of the page) to the 16 rows of the picture.
void Draw(std::vector<std::string>& rows, const unsigned char* glyph, int width) {
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned char byte = glyph[(row / 8) * width + column];
            rows[row] += (byte >> (row % 8)) & 1 ? '#' : '.';
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    int arg = 1;
    if (argc > 2 && std::strcmp(argv[1], "--folder") == 0) {
        folder = argv[2];
        arg = 3;
    }
    if (arg != argc - 1) {
        std::fprintf(stderr, "usage: fontart [--folder <font folder>] <UTF-8 text>\n");
        return 2;
    }
    SetFontPauseFunction(NoPause);
    RecordingHandset handset;
    CHsdFontProcessImpl font;
    font.InitialFontTable(folder.empty() ? nullptr : folder.c_str());
    font.SetHIDCtrlInterface(&handset);
    font.SetHIDCtrlInterfaceKey(1, 0);
    if (font.UTF_8ToUnicodeToFontCode(argv[arg]) != 0 || font.SendFontCode2MCU() != 0) {
        std::fprintf(stderr, "fontart: the text gave no stream\n");
        return 1;
    }

    std::vector<std::string> rows(16);
    std::vector<unsigned char> glyph;
    unsigned char mode = 0;
    for (const auto& [command, data] : handset.items) {
        if (data == 0x0A && (command == 0x70 || command == 0x71 || command == 0xDE)) {
            mode = command;
            glyph.clear();
            continue;
        }
        if (mode == 0x70) {
            // The handset draws ASCII itself; the Latin font has the same letters.
            unsigned char ascii[16] = {};
            font.TransferLatinFontCode(command, ascii);
            Draw(rows, ascii, 8);
            continue;
        }
        glyph.push_back(command);
        const std::size_t size = mode == 0x71 ? 32 : 16;
        if (glyph.size() == size) {
            Draw(rows, glyph.data(), static_cast<int>(size / 2));
            glyph.clear();
        }
    }
    std::printf("%zu items\n", handset.items.size());
    for (const std::string& row : rows) {
        std::printf("%s\n", row.c_str());
    }
    return 0;
}

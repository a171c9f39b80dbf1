// libFuzzer target (preset `fuzz`): the text conversions of the font component
// with the generated font files never read or write out of bounds, and their
// results stay within the sizes their callers rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FontPause.h"
#include "HsdFontProcessImpl.h"
#include "SilentHidCtrl.h"

namespace {

class NullHandset final : public SilentHidCtrl {
public:
    HsdStatus SendCommandData(unsigned char, unsigned char) override {
        ++items;
        return 0;
    }

    std::size_t items = 0;
};

void NoPause(unsigned) {}

NullHandset g_handset;

CHsdFontProcessImpl& Font() {
    static CHsdFontProcessImpl* font = [] {
        SetFontPauseFunction(NoPause);
        auto* created = new CHsdFontProcessImpl;
        created->InitialFontTable(VOXLINK_FONT_DATA_DIR);
        created->SetHIDCtrlInterface(&g_handset);
        created->SetHIDCtrlInterfaceKey(1, 0);
        return created;
    }();
    return *font;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CHsdFontProcessImpl& font = Font();
    // Exactly sized copies, so that a read past the terminator is caught.
    std::vector<char> text(data, data + size);
    text.push_back('\0');

    g_handset.items = 0;
    if (font.UTF_8ToUnicodeToFontCode(text.data()) == 0) {
        font.SendFontCode2MCU();
        // A line is at most 33 units, and no unit takes more than 17 items
        // (a Latin glyph and its marker; a double-byte glyph is 33 for two).
        if (g_handset.items > 33 * 17) {
            std::abort();
        }
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (font.Unicode2FontCode(bytes) == 0) {
        font.SendFontCode2MCU();
    }

    std::vector<unsigned char> menu(34, 0);
    font.UTF_8ToUnicode2Font(text.data(), menu.data());
    if (menu[33] != 0) {
        std::abort();
    }
    std::vector<unsigned char> utf8(kHsdFontTextMaxBytes + 1, 0);
    font.FontCodeToUnicodeToUTF_8(text.data(), utf8.data());
    if (utf8[kHsdFontTextMaxBytes] != 0) {
        std::abort();
    }
    return 0;
}

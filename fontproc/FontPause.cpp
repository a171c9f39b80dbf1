#include "FontPause.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

void Sleep(unsigned int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::atomic<FontPauseFunction> g_pause{Sleep};

}  // namespace

void FontPause(unsigned int milliseconds) {
    g_pause.load()(milliseconds);
}

FontPauseFunction SetFontPauseFunction(FontPauseFunction function) {
    return g_pause.exchange(function ? function : Sleep);
}

#include "Pause.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

void DefaultPause(unsigned int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::atomic<PauseFunction> g_pauseFunction{DefaultPause};

}  // namespace

void Pause(unsigned int milliseconds) {
    g_pauseFunction.load()(milliseconds);
}

PauseFunction SetPauseFunction(PauseFunction function) {
    return g_pauseFunction.exchange(function ? function : DefaultPause);
}

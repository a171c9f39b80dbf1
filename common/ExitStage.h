// What the program is doing on its way out, so that the exit deadline can say
// what was still running when it ended the process. Static texts only: the
// deadline reads the current one without a lock, from a thread that is about
// to end the process.
#pragma once

#include <atomic>

inline std::atomic<const char*> g_szExitStage{"the way out"};

inline void SetExitStage(const char* stage) {
    g_szExitStage.store(stage);
}

inline const char* ExitStage() {
    return g_szExitStage.load();
}

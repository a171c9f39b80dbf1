#include "HidTrace.h"

#include <atomic>
#include <cstdio>

namespace {

void StandardOutput(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}

std::atomic<HidTraceSink> g_sink{StandardOutput};

}  // namespace

HidTraceSink SetHidTraceSink(HidTraceSink sink) {
    return g_sink.exchange(sink != nullptr ? sink : StandardOutput);
}

void HidTrace(const std::string& line) {
    g_sink.load()(line.c_str());
}

// The library's exports: the only way to create and destroy its component, and
// the version of its interface, which the program checks before it creates one.
#include <atomic>
#include <cstdio>
#include <new>

#include "ComponentTrace.h"
#include "HsdFontProcessImpl.h"
#include "Report.h"

namespace {

std::atomic<ComponentTraceSink> g_programSink{nullptr};

}  // namespace

void FontTrace(int level, const char* line) {
    if (ComponentTraceSink sink = g_programSink.load()) {
        sink(level, line);
    } else {
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
}

// Null gives the lines back to standard output.
extern "C" void SetComponentTraceSink(ComponentTraceSink sink) {
    g_programSink = sink;
}

extern "C" unsigned int ComponentInterfaceVersion() {
    return kHsdFontProcessInterfaceVersion;
}

extern "C" int CreateComponentInstance(CHsdFontProcess** out) {
    if (out == nullptr) {
        return 0;
    }
    CHsdFontProcess* component = new (std::nothrow) CHsdFontProcessImpl();
    if (component == nullptr) {
        ReportMessage("Can not create instance.\nOut of Memrory!", "ParserMsg", kReportIconError);
        return 0;
    }
    *out = component;
    return 1;
}

// Destroys the component the pointer names; the caller's pointer is left as it is.
extern "C" int DeleteComponentInstance(CHsdFontProcess** component) {
    if (component != nullptr) {
        delete static_cast<CHsdFontProcessImpl*>(*component);
    }
    return 1;
}

// The library's exports: the only way to create and destroy its component, and
// the version of its interface, which the program checks before it creates one.
#include <new>

#include <atomic>

#include "ComponentTrace.h"
#include "HidTrace.h"
#include "HsdHIDCtrl.h"
#include "Report.h"

namespace {

std::atomic<ComponentTraceSink> g_programSink{nullptr};

// Every report's line is of the kind "everything".
void ToProgram(const char* line) {
    if (ComponentTraceSink sink = g_programSink.load()) {
        sink(2, line);
    }
}

}  // namespace

// Null gives the lines back to standard output.
extern "C" void SetComponentTraceSink(ComponentTraceSink sink) {
    g_programSink = sink;
    SetHidTraceSink(sink != nullptr ? ToProgram : nullptr);
}

extern "C" unsigned int ComponentInterfaceVersion() {
    return kHsdHIDCtrlInterfaceVersion;
}

extern "C" int CreateComponentInstance(I_HsdHIDCtrl** out) {
    if (out == nullptr) {
        return 0;
    }
    I_HsdHIDCtrl* component = new (std::nothrow) CHsdHIDCtrl();
    if (component == nullptr) {
        ReportMessage("Can not create instance.\nOut of Memrory!", "ParserMsg", kReportIconError);
        return 0;
    }
    *out = component;
    return 1;
}

// Destroys the component the pointer names; the caller's pointer is left as it is.
extern "C" int DeleteComponentInstance(I_HsdHIDCtrl** component) {
    if (component != nullptr) {
        delete static_cast<CHsdHIDCtrl*>(*component);
    }
    return 1;
}

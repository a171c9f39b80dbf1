// The library's two exports: the only way to create and destroy its component.
#include <new>

#include "HsdFontProcessImpl.h"
#include "Report.h"

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

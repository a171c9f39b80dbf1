#include "Report.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#endif

namespace {

std::atomic<void*> g_owner{nullptr};

int DefaultReport(const char* text, const char* caption, unsigned int style) {
#ifdef _WIN32
    HWND owner = static_cast<HWND>(g_owner.load());
    if (owner != nullptr && !IsWindow(owner)) {
        owner = nullptr;
    }
    return MessageBoxA(owner, text, caption, style | MB_SETFOREGROUND);
#else
    (void)style;
    std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    return 1;
#endif
}

std::atomic<ReportFunction> g_reportFunction{DefaultReport};

}  // namespace

int ReportMessage(const char* text, const char* caption, unsigned int style) {
    return g_reportFunction.load()(text, caption, style);
}

void SetReportOwner(void* window) {
    g_owner.store(window);
}

ReportFunction SetReportFunction(ReportFunction function) {
    return g_reportFunction.exchange(function ? function : DefaultReport);
}

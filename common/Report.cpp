#include "Report.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#endif

namespace {

int DefaultReport(const char* text, const char* caption, unsigned int style) {
#ifdef _WIN32
    return MessageBoxA(nullptr, text, caption, style);
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

ReportFunction SetReportFunction(ReportFunction function) {
    return g_reportFunction.exchange(function ? function : DefaultReport);
}

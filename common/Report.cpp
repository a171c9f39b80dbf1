#include "Report.h"

#include <atomic>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include <string>
#else
#include <cstdio>
#endif

namespace {

std::atomic<void*> g_owner{nullptr};

#ifdef _WIN32
std::wstring Wide(const char* utf8) {
    const int size = utf8 ? MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0) : 0;
    std::wstring text(size > 0 ? static_cast<std::size_t>(size) : 1u, L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), size);
    }
    return text;
}
#endif

int DefaultReport(const char* text, const char* caption, unsigned int style) {
#ifdef _WIN32
    HWND owner = static_cast<HWND>(g_owner.load());
    if (owner != nullptr && !IsWindow(owner)) {
        owner = nullptr;
    }
    return MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), style | MB_SETFOREGROUND);
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

std::string ProgramText(unsigned int id, const char* english, const char* argument,
                        const char* second) {
    std::string text = english;
#ifdef _WIN32
    const wchar_t* loaded = nullptr;
    const int length =
        LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&loaded), 0);
    if (length > 0) {
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, loaded, length, nullptr, 0, nullptr, nullptr);
        text.assign(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, loaded, length, text.data(), size, nullptr, nullptr);
    }
#else
    (void)id;
#endif
    for (const auto& [mark, value] : {std::pair{"%1", argument}, std::pair{"%2", second}}) {
        if (const std::size_t at = text.find(mark); at != std::string::npos) {
            text.replace(at, 2, value);
        }
    }
    return text;
}

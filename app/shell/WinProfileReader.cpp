#include "WinProfileReader.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

unsigned int CWinProfileReader::ReadInt(const char* section, const char* key, int defaultValue,
                                        const char* path) {
    return GetPrivateProfileIntA(section, key, defaultValue, path);
}

void CWinProfileReader::ReadString(const char* section, const char* key, const char* defaultValue,
                                   char* out, std::size_t size, const char* path) {
    if (out == nullptr || size == 0) {
        return;
    }
    // Read as Unicode, so that a packager may write the texts the user sees
    // (ring names, the About text, the support address) in the user's
    // language: Windows reads a UTF-16 file with a byte-order mark as such and
    // any other in the system's ANSI code page. Handed on as UTF-8.
    const auto wide = [](const char* text) {
        std::wstring out(text != nullptr ? std::strlen(text) + 1 : 0, L'\0');
        if (!out.empty()) {
            out.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(),
                                                                    static_cast<int>(out.size()))));
        }
        return out;
    };
    std::vector<wchar_t> value(size, L'\0');
    GetPrivateProfileStringW(wide(section).c_str(), wide(key).c_str(), wide(defaultValue).c_str(),
                             value.data(), static_cast<DWORD>(value.size()), wide(path).c_str());
    value.back() = L'\0';
    // Cut at a whole character that fits, terminated.
    int length = WideCharToMultiByte(CP_UTF8, 0, value.data(), -1, out, static_cast<int>(size),
                                     nullptr, nullptr);
    for (std::size_t chars = std::wcslen(value.data()); length == 0 && chars > 0;) {
        value[--chars] = L'\0';
        length = WideCharToMultiByte(CP_UTF8, 0, value.data(), -1, out, static_cast<int>(size),
                                     nullptr, nullptr);
    }
    if (length == 0) {
        out[0] = '\0';
    }
}

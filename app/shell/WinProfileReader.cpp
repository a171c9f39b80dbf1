#include "WinProfileReader.h"

#include <windows.h>

unsigned int CWinProfileReader::ReadInt(const char* section, const char* key, int defaultValue,
                                        const char* path) {
    return GetPrivateProfileIntA(section, key, defaultValue, path);
}

void CWinProfileReader::ReadString(const char* section, const char* key, const char* defaultValue,
                                   char* out, std::size_t size, const char* path) {
    if (out == nullptr || size == 0) {
        return;
    }
    GetPrivateProfileStringA(section, key, defaultValue, out, static_cast<DWORD>(size), path);
    out[size - 1] = '\0';
}

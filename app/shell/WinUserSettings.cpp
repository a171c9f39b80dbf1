#include "WinUserSettings.h"

#include <windows.h>

IUserSettings::Read CWinUserSettings::ReadNumber(const char* name, unsigned int* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserSettingsKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return Read::Missing;
    }
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    const LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) {
        return Read::Missing;
    }
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof number) {
        return Read::Unreadable;
    }
    *value = number;
    return Read::Found;
}

void CWinUserSettings::WriteNumber(const char* name, unsigned int value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kUserSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD number = value;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(key);
}

// The user's values over VoxlinkAPI.ini, under HKCU\Software\Voxlink: numbers
// as REG_DWORD, named as the INI keys they override. The key exists only once
// the user has changed something in a dialog.
#pragma once

#include "UserSettings.h"

inline constexpr char kUserSettingsKey[] = "Software\\Voxlink";

class CWinUserSettings : public IUserSettings {
public:
    Read ReadNumber(const char* name, unsigned int* value) override;
    void WriteNumber(const char* name, unsigned int value) override;
};

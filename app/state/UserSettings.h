// Port to the values a user changed in the dialogs, kept per user (on Windows
// under HKCU\Software\Voxlink) and read over VoxlinkAPI.ini, which stays the
// machine's defaults. Each value is named as the INI key it overrides.
#pragma once

class IUserSettings {
public:
    enum class Read { Missing, Found, Unreadable };

    virtual ~IUserSettings() = default;
    // Unreadable: the value exists but is not a number (another type or size).
    virtual Read ReadNumber(const char* name, unsigned int* value) = 0;
    virtual void WriteNumber(const char* name, unsigned int value) = 0;
};

// Reads VoxlinkAPI.ini with the Win32 private-profile functions.
#pragma once

#include "ProfileReader.h"

class CWinProfileReader : public IProfileReader {
public:
    unsigned int ReadInt(const char* section, const char* key, int defaultValue,
                         const char* path) override;
    void ReadString(const char* section, const char* key, const char* defaultValue, char* out,
                    std::size_t size, const char* path) override;
};

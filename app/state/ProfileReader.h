// Port through which the configuration reads a Windows private-profile (INI)
// file: on Windows the real GetPrivateProfileIntA / GetPrivateProfileStringW
// (strings handed on as UTF-8), elsewhere anything that reads the same values.
#pragma once

#include <cstddef>

class IProfileReader {
public:
    virtual ~IProfileReader() = default;

    // The leading decimal digits of the key's value (0 when the value does not
    // start with a digit); defaultValue when the file, section or key is missing.
    virtual unsigned int ReadInt(const char* section, const char* key, int defaultValue,
                                 const char* path) = 0;

    // Copies the key's value, or defaultValue when the file, section or key is
    // missing, into out (size bytes, always NUL-terminated; longer values are
    // cut to size - 1 characters).
    virtual void ReadString(const char* section, const char* key, const char* defaultValue,
                            char* out, std::size_t size, const char* path) = 0;
};

// Status codes shared by every component operation: 0 for success, E_FAIL for
// failure, with results returned through out-parameters.
#pragma once

#include <cstdint>

using HsdStatus = std::int32_t;

inline constexpr HsdStatus HSD_OK = 0;

#ifdef _WIN32
#include <windows.h>  // E_FAIL, as the platform defines it
#else
#define E_FAIL (static_cast<HsdStatus>(0x80004005u))
#endif

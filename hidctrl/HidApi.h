// The HID class driver's user-mode API; mingw's headers lack C linkage.
#pragma once

#include <windows.h>

extern "C" {
#include <hidsdi.h>
}

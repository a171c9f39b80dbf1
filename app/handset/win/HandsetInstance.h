// The program's one handset object, constructed before WinMain (binding the
// HID library) and destroyed after it returns (resetting the device, then
// freeing the library).
#pragma once

#include "HsdHid.h"

extern CHsdHid g_HsdHid;

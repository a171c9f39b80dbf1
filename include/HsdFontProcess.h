// The display font component of HsdFontProcessLib, as the program and the HID
// library see it. Only plain types cross the library boundary.
#pragma once

#include "HsdStatus.h"

class CHsdFontProcess {
public:
    virtual ~CHsdFontProcess() = default;
};

// Exports of HsdFontProcessLib, bound by name with GetProcAddress.
using PFN_CreateFontProcess = int (*)(CHsdFontProcess** out);
using PFN_DeleteFontProcess = int (*)(CHsdFontProcess** component);

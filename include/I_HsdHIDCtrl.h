// The handset control component of HsdHIDCtrl, as the program and the font
// library see it. Only plain types cross the library boundary.
#pragma once

#include "HsdStatus.h"

class I_HsdHIDCtrl {
public:
    virtual ~I_HsdHIDCtrl() = default;
};

// Exports of HsdHIDCtrl, bound by name with GetProcAddress.
using PFN_CreateHIDCtrl = int (*)(I_HsdHIDCtrl** out);
using PFN_DeleteHIDCtrl = int (*)(I_HsdHIDCtrl** component);

// The handset control component behind the I_HsdHIDCtrl interface.
#pragma once

#include "I_HsdHIDCtrl.h"

class CHsdHIDCtrl final : public I_HsdHIDCtrl {
public:
    CHsdHIDCtrl() = default;
    ~CHsdHIDCtrl() override = default;
};

// The display font component behind the CHsdFontProcess interface.
#pragma once

#include "HsdFontProcess.h"

class CHsdFontProcessImpl final : public CHsdFontProcess {
public:
    CHsdFontProcessImpl() = default;
    ~CHsdFontProcessImpl() override = default;
};

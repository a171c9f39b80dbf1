#include "HandsetInstance.h"

#include "ComponentBinding.h"

namespace {
// Defined before the handset object in this file, so it is constructed first
// and destroyed last.
CWinHidLibrary g_HidLibrary;
}  // namespace

CHsdHid g_HsdHid(&g_HidLibrary);

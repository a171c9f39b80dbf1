// A stand-in for a component library, for the binding failure tests. Built as
// four DLLs: without exports, with the create and version exports, with all
// three, and with create and delete but no version (an older library).
// VOXLINK_FAKE_COMPONENT chooses what the exports answer: "create0" makes the
// create fail, "delete0" the delete, "otherversion" the version differ.
#include <windows.h>

#include <cstring>

#include "HsdFontProcess.h"
#include "I_HsdHIDCtrl.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

bool ModeIs(const char* mode) {
    char value[32] = {};
    const DWORD length = GetEnvironmentVariableA("VOXLINK_FAKE_COMPONENT", value, sizeof(value));
    return length > 0 && length < sizeof(value) && std::strcmp(value, mode) == 0;
}

}  // namespace

#if defined(FAKE_WITH_CREATE)
extern "C" __declspec(dllexport) int CreateComponentInstance(void** out) {
    if (ModeIs("create0")) {
        return 0;
    }
    static int dummy = 0;
    *out = &dummy;
    return 1;
}
#endif

#if defined(FAKE_WITH_DELETE)
extern "C" __declspec(dllexport) int DeleteComponentInstance(void** component) {
    if (ModeIs("delete0")) {
        return 0;
    }
    if (component != nullptr) {
        *component = nullptr;
    }
    return 1;
}
#endif

#if defined(FAKE_WITH_VERSION)
// The version of the library this copy stands in for, by its file name.
extern "C" __declspec(dllexport) unsigned int ComponentInterfaceVersion() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    const unsigned int version = std::strstr(path, "HsdHIDCtrl") != nullptr
                                     ? kHsdHIDCtrlInterfaceVersion
                                     : kHsdFontProcessInterfaceVersion;
    return ModeIs("otherversion") ? version + 1 : version;
}
#endif

extern "C" __declspec(dllexport) int FakeComponentLibraryMarker() {
    return ModeIs("create0") ? 0 : 1;
}

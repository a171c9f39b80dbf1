// A stand-in for a component library, for the binding failure tests. Built as
// three DLLs: without exports, with the create export only, and with both.
// VOXLINK_FAKE_COMPONENT chooses what the exports answer: "create0" makes the
// create fail, "delete0" the delete.
#include <windows.h>

#include <cstring>

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

extern "C" __declspec(dllexport) int FakeComponentLibraryMarker() {
    return ModeIs("create0") ? 0 : 1;
}

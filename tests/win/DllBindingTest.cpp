// Both libraries bind the way the program binds them: by bare file name, then
// by export name.
#include <windows.h>

#include <gtest/gtest.h>

#include "HsdFontProcess.h"
#include "I_HsdHIDCtrl.h"

namespace {

template <typename Component, typename CreateFn, typename DeleteFn>
void CheckBinding(const char* dllName) {
    HMODULE library = LoadLibraryA(dllName);
    ASSERT_NE(library, nullptr) << dllName << ": " << GetLastError();

    auto create = reinterpret_cast<CreateFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "CreateComponentInstance")));
    auto destroy = reinterpret_cast<DeleteFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "DeleteComponentInstance")));
    ASSERT_NE(create, nullptr);
    ASSERT_NE(destroy, nullptr);

    Component* component = nullptr;
    EXPECT_EQ(create(&component), 1);
    EXPECT_NE(component, nullptr);
    EXPECT_EQ(destroy(&component), 1);
    EXPECT_EQ(destroy(nullptr), 1);

    EXPECT_TRUE(FreeLibrary(library));
}

TEST(ComponentLibraries, FontLibraryBindsByNameAndCreatesItsComponent) {
    CheckBinding<CHsdFontProcess, PFN_CreateFontProcess, PFN_DeleteFontProcess>(
        "HsdFontProcessLib.dll");
}

TEST(ComponentLibraries, HidLibraryBindsByNameAndCreatesItsComponent) {
    CheckBinding<I_HsdHIDCtrl, PFN_CreateHIDCtrl, PFN_DeleteHIDCtrl>("HsdHIDCtrl.dll");
}

}  // namespace

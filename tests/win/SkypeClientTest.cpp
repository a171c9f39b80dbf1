// Finding the Skype client's child windows over a real window tree, and
// starting the client from the registry path or the fixed path.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "SkypeClient.h"
#include "SkypeWindowClasses.h"
#include "WinSkypeWire.h"

namespace {

void RegisterClassOnce(const char* name) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

HWND Create(const char* className, HWND parent) {
    RegisterClassOnce(className);
    return CreateWindowExA(0, className, "", parent ? WS_CHILD : WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                           parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

std::vector<HWND> g_order;
BOOL CALLBACK Collect(HWND window, LPARAM) {
    g_order.push_back(window);
    return TRUE;
}

// The first descendant of the class in the system's enumeration order.
HWND FirstOfClass(HWND parent, const char* className) {
    g_order.clear();
    EnumChildWindows(parent, Collect, 0);
    for (HWND window : g_order) {
        char name[255] = {};
        GetClassNameA(window, name, sizeof(name));
        if (std::string(name) == className) {
            return window;
        }
    }
    return nullptr;
}

TEST(SkypeWindowDiscovery, FindsDescendantsFirstMatchWinsAndLeavesHandlesWithoutAClient) {
    // No client: the handles keep whatever they held.
    g_hSkypeTabs = reinterpret_cast<HWND>(0x1234);
    DiscoverSkypeWindows();
    EXPECT_EQ(g_hSkypeTabs.load(), reinterpret_cast<HWND>(0x1234));
    CWinSkypeClientWindows windows;
    EXPECT_FALSE(windows.TopLevelWindowExists(kSkypeMainFormClass));

    HWND main = Create(kSkypeMainFormClass, nullptr);
    ASSERT_NE(main, nullptr);
    HWND panel = Create("TPanel", main);
    HWND tabs = Create(kSkypeTabsClass, panel);
    HWND sheet = Create("TTntTabSheet", tabs);
    HWND grid = Create(kSkypeBgGridClass, sheet);  // three levels down
    HWND contactsA = Create(kSkypeContactListClass, main);
    HWND contactsB = Create(kSkypeContactListClass, main);
    ASSERT_TRUE(panel && tabs && sheet && grid && contactsA && contactsB);
    EXPECT_TRUE(windows.TopLevelWindowExists(kSkypeMainFormClass));

    DiscoverSkypeWindows();
    EXPECT_EQ(g_hSkypeTabs.load(), tabs);
    EXPECT_EQ(g_hSkypeBgGrid.load(), grid);
    const HWND firstContacts = FirstOfClass(main, kSkypeContactListClass);
    EXPECT_TRUE(firstContacts == contactsA || firstContacts == contactsB);
    EXPECT_EQ(g_hSkypeContactList.load(), firstContacts) << "the first one met is kept";

    // A client without any of the classes: all three are cleared.
    DestroyWindow(main);
    HWND bare = Create(kSkypeMainFormClass, nullptr);
    Create("TPanel", bare);
    DiscoverSkypeWindows();
    EXPECT_EQ(g_hSkypeTabs.load(), nullptr);
    EXPECT_EQ(g_hSkypeContactList.load(), nullptr);
    EXPECT_EQ(g_hSkypeBgGrid.load(), nullptr);
    DestroyWindow(bare);
}

class SkypeLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        logPath =
            std::string(temp) + "voxlink-launch-" + std::to_string(GetCurrentProcessId()) + ".log";
        DeleteFileA(logPath.c_str());
        SetEnvironmentVariableA("VOXLINK_LAUNCH_LOG", logPath.c_str());
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        stubPath = self;
        stubPath.resize(stubPath.find_last_of('\\') + 1);
        stubPath += "launch_stub.exe";
        RegDeleteKeyA(HKEY_CURRENT_USER, kSkypePathKey);
    }
    void TearDown() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, kSkypePathKey);
        DeleteFileA(logPath.c_str());
        DeleteFileA(kSkypeFallbackPath);
        RemoveDirectoryA("C:\\Program Files\\Skype\\Phone");
        RemoveDirectoryA("C:\\Program Files\\Skype");
    }

    void SetRegistryPath(const std::string& path) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSkypePathKey, 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, kSkypePathValue, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(path.c_str()),
                                 static_cast<DWORD>(path.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // The paths the stub was started as, after waiting up to timeoutMs for count of them.
    std::vector<std::string> Launched(std::size_t count, DWORD timeoutMs = 10000) {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        std::vector<std::string> lines;
        do {
            lines.clear();
            std::ifstream log(logPath);
            std::string line;
            while (std::getline(log, line)) {
                lines.push_back(line);
            }
            if (lines.size() >= count) {
                break;
            }
            Sleep(20);
        } while (GetTickCount64() < deadline);
        return lines;
    }

    std::string logPath;
    std::string stubPath;
};

TEST_F(SkypeLaunch, RegistryPathIsLaunchedAndOnlyThat) {
    SetRegistryPath(stubPath);
    EXPECT_EQ(LaunchSkypeFromRegistry(), 1);
    const std::vector<std::string> launched = Launched(1);
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, launched[0].c_str(), -1,
                             stubPath.c_str(), -1),
              CSTR_EQUAL)
        << launched[0];

    StartSkypeIfMissing(1);
    EXPECT_EQ(Launched(2).size(), 2u);
    Sleep(300);
    EXPECT_EQ(Launched(2).size(), 2u) << "the fixed path was tried as well";
}

TEST_F(SkypeLaunch, WithoutTheRegistryValueTheFixedPathIsLaunched) {
    EXPECT_EQ(LaunchSkypeFromRegistry(), 0);
    CreateDirectoryA("C:\\Program Files\\Skype", nullptr);
    CreateDirectoryA("C:\\Program Files\\Skype\\Phone", nullptr);
    ASSERT_TRUE(CopyFileA(stubPath.c_str(), kSkypeFallbackPath, FALSE));
    StartSkypeIfMissing(1);
    const std::vector<std::string> launched = Launched(1);
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, launched[0].c_str(), -1,
                             kSkypeFallbackPath, -1),
              CSTR_EQUAL)
        << launched[0];
}

TEST_F(SkypeLaunch, NothingStartsWhenSwitchedOffOrTheClientRuns) {
    SetRegistryPath(stubPath);
    StartSkypeIfMissing(0);
    StartSkypeIfMissing(2);
    HWND client = Create(kSkypeMainFormClass, nullptr);
    StartSkypeIfMissing(1);
    EXPECT_TRUE(Launched(1, 1000).empty());
    DestroyWindow(client);
    StartSkypeIfMissing(1);
    EXPECT_EQ(Launched(1).size(), 1u) << "the check above could not have failed";
}

}  // namespace

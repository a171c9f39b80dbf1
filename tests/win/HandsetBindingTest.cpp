// Binding the component libraries from a folder where they are missing, lack
// an export, or fail to create or delete: each failure's message text and
// caption, and what the program does next. The probe runs in a folder of its
// own, so LoadLibraryA finds only what the test put there.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::string BinFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

class BindingFolder {
public:
    BindingFolder() {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        char name[MAX_PATH] = {};
        GetTempFileNameA(temp, "hbd", 0, name);
        DeleteFileA(name);
        folder_ = std::string(name) + "\\";
        CreateDirectoryA(folder_.c_str(), nullptr);
        Copy("handset_bind_probe.exe", "handset_bind_probe.exe");
    }
    ~BindingFolder() {
        for (const auto& file : files_) {
            DeleteFileA((folder_ + file).c_str());
        }
        DeleteFileA((folder_ + "out.txt").c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    void Copy(const std::string& from, const std::string& as) {
        ASSERT_TRUE(CopyFileA((BinFolder() + from).c_str(), (folder_ + as).c_str(), FALSE))
            << from << ": " << GetLastError();
        files_.push_back(as);
    }
    // Runs the probe with the fake libraries' mode; returns its lines.
    std::vector<std::string> Run(const char* what, const char* fakeMode = "") {
        SetEnvironmentVariableA("VOXLINK_FAKE_COMPONENT", fakeMode);
        std::string command =
            "\"" + folder_ + "handset_bind_probe.exe\" " + what + " \"" + folder_ + "out.txt\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        EXPECT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder_.c_str(), &startup, &process));
        WaitForSingleObject(process.hProcess, 30000);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(code, 0u);
        std::ifstream in(folder_ + "out.txt");
        std::vector<std::string> lines;
        for (std::string text; std::getline(in, text);) {
            lines.push_back(text);
        }
        return lines;
    }

private:
    std::string folder_;
    std::vector<std::string> files_;
};

using Lines = std::vector<std::string>;

TEST(HandsetBinding, MissingHidLibraryIsReportedAndTheProgramGoesOnWithoutAHandset) {
    BindingFolder folder;
    EXPECT_EQ(folder.Run("hid"),
              (Lines{"report 16|CreateInstance|Failed to load module - HsdHIDCtrl.dll",
                     "component 0", "reopen 0", "ended"}));
}

TEST(HandsetBinding, MissingFontLibraryIsReported) {
    BindingFolder folder;
    EXPECT_EQ(folder.Run("font"),
              (Lines{"report 16|CreateInstance|Failed to load module - HsdFontProcessLib.dll",
                     "bind 0"}));
}

TEST(HandsetBinding, MissingCreateExport) {
    BindingFolder folder;
    folder.Copy("fake_noexport.dll", "HsdHIDCtrl.dll");
    folder.Copy("fake_noexport.dll", "HsdFontProcessLib.dll");
    EXPECT_EQ(folder.Run("hid"),
              (Lines{"report 16|CreateDLLInstance|Failed to Get API - CreateComponentInstance",
                     "component 0", "reopen 0", "ended"}));
    EXPECT_EQ(
        folder.Run("font"),
        (Lines{"report 16|CreateInstance|Failed to Get API - CreateComponentInstance", "bind 0"}));
}

TEST(HandsetBinding, CreateReturningZero) {
    BindingFolder folder;
    folder.Copy("fake_component.dll", "HsdHIDCtrl.dll");
    folder.Copy("fake_component.dll", "HsdFontProcessLib.dll");
    EXPECT_EQ(
        folder.Run("hid", "create0"),
        (Lines{"report 16|CreateDLLInstance|Failed to create instance in module - HsdHIDCtrl.dll",
               "component 0", "reopen 0", "ended"}));
    EXPECT_EQ(folder.Run("font", "create0"),
              (Lines{"report 16|CreateInstance|Failed to create instance in module - "
                     "HsdFontProcessLib.dll",
                     "bind 0"}));
}

TEST(HandsetBinding, ABindAfterAFailedCreateLoadsTheLibraryAgain) {
    BindingFolder folder;
    folder.Copy("fake_component.dll", "HsdFontProcessLib.dll");
    EXPECT_EQ(folder.Run("font-rebind"),
              (Lines{"report 16|CreateInstance|Failed to create instance in module - "
                     "HsdFontProcessLib.dll",
                     "bind 0", "bind 1", "release 1"}));
}

TEST(HandsetBinding, DeleteFailures) {
    BindingFolder folder;
    folder.Copy("fake_component.dll", "HsdHIDCtrl.dll");
    folder.Copy("fake_component.dll", "HsdFontProcessLib.dll");
    EXPECT_EQ(folder.Run("font", "delete0"),
              (Lines{"bind 1",
                     "report 16|DeleteInstance|Failed to delete instance in module - "
                     "HsdFontProcessLib.DLL",
                     "release 0"}));
    EXPECT_EQ(folder.Run("hid-delete", "delete0"),
              (Lines{"create 1",
                     "report 16|DeleteDLLInstance|Failed to detete instance in module - "
                     "HsdHIDCtrl.DLL",
                     "delete 0", "freed 1"}));
    EXPECT_EQ(folder.Run("font"), (Lines{"bind 1", "release 1"}));
}

TEST(HandsetBinding, MissingDeleteExport) {
    BindingFolder folder;
    folder.Copy("fake_createonly.dll", "HsdHIDCtrl.dll");
    folder.Copy("fake_createonly.dll", "HsdFontProcessLib.dll");
    EXPECT_EQ(
        folder.Run("font"),
        (Lines{"bind 1", "report 16|DeleteInstance|Failed to Get API - DeleteComponentInstance",
               "release 0"}));
    EXPECT_EQ(folder.Run("hid-delete"),
              (Lines{"create 1",
                     "report 16|DeleteDLLInstance|Failed to Get API - DeleteComponentInstance",
                     "delete 0", "freed 1"}));
}

// A library of another interface version is refused before its component is
// made: an older one lacks the version export, a newer one answers another.
TEST(HandsetBinding, OnlyALibraryOfTheProgramsInterfaceVersionBinds) {
    struct Row {
        const char* fake;
        const char* mode;
        Lines hid;
        Lines font;
    };
    const Row rows[] = {
        {"fake_unversioned.dll",
         "",
         {"report 16|CreateDLLInstance|Failed to Get API - ComponentInterfaceVersion", "create 0",
          "delete 0", "freed 1"},
         {"report 16|CreateInstance|Failed to Get API - ComponentInterfaceVersion", "bind 0"}},
        {"fake_component.dll",
         "otherversion",
         {"report 16|CreateDLLInstance|Failed to create instance in module - HsdHIDCtrl.dll",
          "create 0", "delete 0", "freed 1"},
         {"report 16|CreateInstance|Failed to create instance in module - HsdFontProcessLib.dll",
          "bind 0"}},
        {"fake_component.dll", "", {"create 1", "delete 1", "freed 0"}, {"bind 1", "release 1"}},
    };
    for (const Row& row : rows) {
        BindingFolder folder;
        folder.Copy(row.fake, "HsdHIDCtrl.dll");
        folder.Copy(row.fake, "HsdFontProcessLib.dll");
        EXPECT_EQ(folder.Run("hid-delete", row.mode), row.hid) << row.fake << " " << row.mode;
        EXPECT_EQ(folder.Run("font", row.mode), row.font) << row.fake << " " << row.mode;
    }
}

TEST(HandsetBinding, RealLibrariesBindQuietly) {
    BindingFolder folder;
    folder.Copy("HsdHIDCtrl.dll", "HsdHIDCtrl.dll");
    folder.Copy("HsdFontProcessLib.dll", "HsdFontProcessLib.dll");
    // No handset is plugged in: the component exists but finds no device.
    EXPECT_EQ(folder.Run("hid"), (Lines{"component 1", "reopen 0", "ended"}));
    EXPECT_EQ(folder.Run("font"), (Lines{"bind 1", "release 1"}));
}

}  // namespace

// A program that crashes on purpose, on a labelled thread, with the crash
// reporter installed: crash_probe <folder for the report files>.
#include <windows.h>

#include <string>
#include <thread>

#include "CrashReport.h"
#include "ThreadLabel.h"

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : "";
    if (!folder.empty() && folder.back() != '\\') {
        folder += '\\';
    }
    InstallCrashReporter("SkypeAPI -> WinMain", folder.empty() ? nullptr : folder.c_str());
    std::thread worker([] {
        SetThreadLabel("CrashProbe -> Worker");
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    });
    worker.join();
    return 0;
}

// winctl: drives a running Windows program from scripts.
//   winctl wait <window class> <timeout ms>     waits until a top-level window of the class exists
//   winctl command <window class> <command id>  posts WM_COMMAND with the id to that window
//   winctl gone <window class> <timeout ms>     waits until no window of the class is left
//   winctl version <file>                       prints the file version of its version resource
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool WaitFor(const char* windowClass, DWORD timeoutMs, bool present) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if ((FindWindowA(windowClass, nullptr) != nullptr) == present) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(50);
    }
}

// As Windows reads it (Windows Installer's file versioning uses the same), a.b.c.d.
int PrintVersion(const char* path) {
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(path, &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (data.empty() ||
        !GetFileVersionInfoA(path, 0, static_cast<DWORD>(data.size()), data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) {
        std::fprintf(stderr, "winctl: \"%s\" has no version resource\n", path);
        return 1;
    }
    std::printf("%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: winctl wait|gone <window class> <timeout ms>\n"
                 "       winctl command <window class> <command id>\n"
                 "       winctl version <file>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "version") == 0) {
        return PrintVersion(argv[2]);
    }
    if (argc != 4) {
        return Usage();
    }
    const char* verb = argv[1];
    const char* windowClass = argv[2];
    const unsigned long number = std::strtoul(argv[3], nullptr, 0);

    if (std::strcmp(verb, "wait") == 0 || std::strcmp(verb, "gone") == 0) {
        const bool present = std::strcmp(verb, "wait") == 0;
        if (!WaitFor(windowClass, number, present)) {
            std::fprintf(stderr, "winctl: window class \"%s\" %s after %lu ms\n", windowClass,
                         present ? "not found" : "still present", number);
            return 1;
        }
        return 0;
    }
    if (std::strcmp(verb, "command") == 0) {
        HWND window = FindWindowA(windowClass, nullptr);
        if (window == nullptr || !PostMessageA(window, WM_COMMAND, number, 0)) {
            std::fprintf(stderr, "winctl: cannot post command %lu to \"%s\"\n", number,
                         windowClass);
            return 1;
        }
        return 0;
    }
    return Usage();
}

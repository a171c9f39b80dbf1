// Thread labels as the crash reporter finds them: the description that a
// labelled thread carries, read from any thread of the process.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <string>

namespace voxtest {

template <typename Fn>
Fn Kernel32Function(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

// Labels the calling thread the way another binary's copy of the labelling
// code does: through the thread's description only.
inline void DescribeThisThread(const wchar_t* label) {
    using SetFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    if (const auto describe = Kernel32Function<SetFn>("SetThreadDescription")) {
        describe(GetCurrentThread(), label);
    }
}

// The label of a thread (a handle with query access); "" when it has none.
inline std::string ThreadLabelOf(HANDLE thread) {
    using GetFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    const auto read = Kernel32Function<GetFn>("GetThreadDescription");
    PWSTR description = nullptr;
    if (read == nullptr || FAILED(read(thread, &description))) {
        return {};
    }
    char text[256] = {};
    WideCharToMultiByte(CP_ACP, 0, description, -1, text, sizeof text, nullptr, nullptr);
    LocalFree(description);
    return text;
}

// Whether some thread of this process carries the label.
inline bool SomeThreadIsLabelled(const std::string& label) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool found = false;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more && !found;
         more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) {
            continue;
        }
        if (HANDLE thread =
                OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID)) {
            found = ThreadLabelOf(thread) == label;
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace voxtest

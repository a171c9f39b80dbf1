#include "ThreadLabel.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

thread_local const char* t_label = nullptr;

#ifdef _WIN32
// Every binary has its own copy of this file, and the crash reporter lives in
// the program, so a thread of the HID library labels itself in the library's
// copy. The thread's description carries the label from one copy to the other
// (Windows 10 and later; before that each copy knows only its own labels).
constexpr int kLabelChars = 128;
thread_local char t_describedLabel[kLabelChars];

using SetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
using GetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);

template <typename Fn>
Fn Kernel32Function(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

void DescribeThread(const char* label) {
    static const auto describe = Kernel32Function<SetDescriptionFn>("SetThreadDescription");
    wchar_t text[kLabelChars] = {};
    if (describe != nullptr && MultiByteToWideChar(CP_ACP, 0, label, -1, text, kLabelChars) > 0) {
        describe(GetCurrentThread(), text);
    }
}

// The label any copy gave the calling thread; null when it has none.
const char* DescribedLabel() {
    return ReadThreadLabel(GetCurrentThread(), t_describedLabel, kLabelChars) ? t_describedLabel
                                                                              : nullptr;
}
#endif

}  // namespace

#ifdef _WIN32
bool ReadThreadLabel(void* thread, char* out, int size) {
    static const auto read = Kernel32Function<GetDescriptionFn>("GetThreadDescription");
    PWSTR text = nullptr;
    if (read == nullptr || FAILED(read(thread, &text))) {
        return false;
    }
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, out, size, nullptr, nullptr);
    LocalFree(text);
    return length > 1;
}
#endif

void SetThreadLabel(const char* label) {
    t_label = label;
#ifdef _WIN32
    DescribeThread(label);
#endif
}

const char* GetThreadLabel() {
#ifdef _WIN32
    if (const char* described = DescribedLabel()) {
        return described;
    }
#endif
    return t_label != nullptr ? t_label : "";
}

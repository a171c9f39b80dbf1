#include "ShellGlobals.h"

HINSTANCE g_hInstance = nullptr;
HWND g_hMainWnd = nullptr;
std::atomic<HWND> g_hSkypeApiWnd{nullptr};
UINT g_uAttachMsg = 0;
UINT g_uDiscoverMsg = 0;

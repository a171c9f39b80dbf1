// Process-wide handles and message ids of the program, set by the shell.
#pragma once

#include <windows.h>

#include <atomic>

extern HINSTANCE g_hInstance;
// The hidden main window: the sender of every WM_COPYDATA to Skype.
extern HWND g_hMainWnd;
// Skype's API window, 0 while not attached. Written by the main thread on an
// attach reply and by the link when it detaches; read by the command thread.
extern std::atomic<HWND> g_hSkypeApiWnd;
// RegisterWindowMessageA("SkypeControlAPIAttach") and ("SkypeControlAPIDiscover").
extern UINT g_uAttachMsg;
extern UINT g_uDiscoverMsg;

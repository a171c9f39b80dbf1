// Starting the Skype client and finding the child windows of its main window
// that the handset keys act on.
#pragma once

#include <windows.h>

#include <atomic>

// Descendants of the client's main window, 0 when not found. Written by
// DiscoverSkypeWindows (main thread or handset input thread), read by the key
// handlers; a reader treats 0 as a missing window.
extern std::atomic<HWND> g_hSkypeTabs;
extern std::atomic<HWND> g_hSkypeContactList;
extern std::atomic<HWND> g_hSkypeBgGrid;

// Starts the executable named by HKCU\Software\Skype\Phone "SkypePath".
// 1 when the value was read and a start was attempted, 0 when the key or the
// value cannot be read.
int LaunchSkypeFromRegistry();

// Starts the client when its main window is missing and autoRunSkype is 1:
// from the registry path, or from the fixed path when there is none.
void StartSkypeIfMissing(int autoRunSkype);

// Finds the tab control, the contact list and the background grid among the
// descendants of the client's main window; the first of each class met wins.
// Without a main window the handles keep their values.
void DiscoverSkypeWindows();

// The one place where the program's objects meet: the Win32 implementations of
// the shell's ports and of the Skype link's ports, over the real stores, the
// Skype link, the handset object, the mixer controls, the ring tone and the tray.
#pragma once

#include <windows.h>

#include <string>

#include "Shell.h"
#include "TrayIcon.h"

class I_AccessSkypeAPI;
class I_SkypeCommandSender;

// Watches, from the main thread, for Skype's confirmation window to come or
// go, and has the Skype link look for it then. Stop before the link goes.
void StartConfirmationWindowWatch();
void StopConfirmationWindowWatch();

// The program's tray icon (a static object, removed at process end at the latest).
CTrayIcon& ProgramTrayIcon();

// The shell's ports, wired to the program's objects.
ShellPorts ProgramShellPorts();

// Creates the Skype link over the Win32 edges and the program's objects.
I_AccessSkypeAPI* CreateProgramSkypeLink();

// The configured address for crash reports (empty when none is configured).
std::string ProgramSupportEmail();

// After the configuration is read: starts the log at the configured level
// (%LOCALAPPDATA%\Voxlink\Logs), notes the user's values that were left out,
// takes the user's ring and sends the audio backend's lines to the trace.
void StartProgramDiagnostics();
// Notes the end and writes what the log still holds.
void StopProgramDiagnostics();

// What the contact store uses to ask Skype for display names: the current link.
I_SkypeCommandSender* ProgramCommandSender();

// The folder of the program module, ending in a backslash.
std::string ProgramFolderPath();

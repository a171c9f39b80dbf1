// The crash reporter: on an unhandled exception it writes "ERRORLOG.TXT" (the
// exception, the failing thread's label, stack and registers, the module list,
// the operating system and the memory figures) and "CRASH.DMP" (a minidump)
// into the program's folder, then lets the process end without a message box.
#pragma once

// Installs the reporter for the process (once) and labels the calling thread.
// folder: where the two files go, ending in a backslash; null for the
// program's own folder.
void InstallCrashReporter(const char* label, const char* folder = nullptr);

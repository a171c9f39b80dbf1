// The one way any binary of Voxlink shows a message box. Tests and headless
// runs replace the function, because a modal box blocks without a desktop.
#pragma once

#include <string>

// Style bits, with the values of the Win32 MessageBox flags.
inline constexpr unsigned int kReportOk = 0x00;               // MB_OK
inline constexpr unsigned int kReportYesNo = 0x04;            // MB_YESNO
inline constexpr unsigned int kReportIconError = 0x10;        // MB_ICONHAND
inline constexpr unsigned int kReportIconQuestion = 0x20;     // MB_ICONQUESTION
inline constexpr unsigned int kReportIconInformation = 0x40;  // MB_ICONASTERISK
// The answer "Yes" (IDYES).
inline constexpr int kReportYes = 6;

using ReportFunction = int (*)(const char* text, const char* caption, unsigned int style);

// Shows text and caption, both UTF-8 (a modal message box in Unicode on
// Windows, a line on standard error elsewhere) and returns the button chosen (1 for OK, kReportYes
// for Yes).
int ReportMessage(const char* text, const char* caption, unsigned int style);

// The window that owns the boxes of the default function from now on (null:
// none), so that they come up in front of it rather than behind other
// programs' windows. A window that has gone since is not used.
void SetReportOwner(void* window);

// Replaces the reporting function for this binary and returns the previous
// one; nullptr restores the default.
ReportFunction SetReportFunction(ReportFunction function);

// A message of the program's string table in the user's language (UTF-8), with
// "%1" and "%2" replaced by the arguments (UTF-8); english where the program
// carries no such string (a test program, or no string table at all).
std::string ProgramText(unsigned int id, const char* english, const char* argument = "",
                        const char* second = "");

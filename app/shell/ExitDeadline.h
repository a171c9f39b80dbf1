// Once the program has been told to end, it ends within a bound, whatever the
// parties it waits for do (a hung Skype, a hung window on the desktop, a
// handset that stopped taking reports). Windows only.
#pragma once

// From the exit command to the end of the process: the program's own pauses
// on the way out (20, 50, 300 and 400 ms) and what a healthy Skype and
// handset need, with room to spare.
inline constexpr unsigned int kExitDeadlineMs = 3000;

// The exit code of a process the deadline ended: not 0, so that it never
// passes for a clean exit (the code `timeout` gives a command it had to end).
inline constexpr unsigned int kExitDeadlineCode = 124;

// Starts the countdown on the first call (later calls change nothing). When it
// runs out before the process has ended, one line on standard output names
// the exit stage still running (ExitStage.h) and the process ends at once
// with kExitDeadlineCode. A crash report under way is waited for first: the
// reporter ends the process itself, within its own bound.
void ArmExitDeadline(unsigned int ms = kExitDeadlineMs);

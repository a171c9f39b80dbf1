// Once the program has been told to end, it ends within a bound, whatever the
// parties it waits for do (a hung Skype, a hung window on the desktop, a
// handset that stopped taking reports). Windows only.
#pragma once

// From the exit command to the end of the process: the program's own pauses
// on the way out (50, 300, 20 and 400 ms) and what a healthy Skype and
// handset need, with room to spare.
inline constexpr unsigned int kExitDeadlineMs = 3000;

// Starts the countdown on the first call (later calls change nothing). When it
// runs out before the process has ended, a trace line says so and the process
// ends at once with exit code 0: the program writes nothing on the way out
// that could be lost.
void ArmExitDeadline(unsigned int ms = kExitDeadlineMs);

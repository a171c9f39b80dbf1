// The one way Voxlink waits for a fixed time. The pauses pace the handset and
// the Skype client; tests replace the function where timing is not the point.
#pragma once

using PauseFunction = void (*)(unsigned int milliseconds);

// Waits the given number of milliseconds on the calling thread.
void Pause(unsigned int milliseconds);

// Replaces the pause function for this binary and returns the previous one;
// nullptr restores the default (a real sleep).
PauseFunction SetPauseFunction(PauseFunction function);

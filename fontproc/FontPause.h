// The fixed pauses of the font component (between LCD items, between retries,
// after a transfer) go through one replaceable function, so that tests where
// timing is not the point can record or shorten them.
#pragma once

using FontPauseFunction = void (*)(unsigned int milliseconds);

// Pauses the calling thread through the current pause function.
void FontPause(unsigned int milliseconds);

// Replaces the pause function for this binary and returns the previous one;
// nullptr restores the real sleep.
FontPauseFunction SetFontPauseFunction(FontPauseFunction function);

// Each thread procedure names itself at its start, so that a crash report can
// say which of the program's threads failed.
#pragma once

// label must be a string that lives as long as the thread (a literal).
void SetThreadLabel(const char* label);
// The calling thread's label, whichever binary of the process gave it; ""
// when it has none.
const char* GetThreadLabel();

#ifdef _WIN32
// The label of any thread of the process (a handle with query rights), read
// from the thread's description into out (size bytes); false when it has none
// or the system keeps no descriptions (before Windows 10).
bool ReadThreadLabel(void* thread, char* out, int size);
#endif

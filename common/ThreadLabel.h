// Each thread procedure names itself at its start, so that a crash report can
// say which of the program's threads failed.
#pragma once

// label must be a string that lives as long as the thread (a literal).
void SetThreadLabel(const char* label);
// The calling thread's label, whichever binary of the process gave it; ""
// when it has none.
const char* GetThreadLabel();

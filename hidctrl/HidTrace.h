// Diagnostic trace of every report: standard output by default; tests replace
// the sink to read the lines.
#pragma once

#include <string>

using HidTraceSink = void (*)(const char* line);

// Replaces the sink and returns the previous one; nullptr restores standard output.
HidTraceSink SetHidTraceSink(HidTraceSink sink);
void HidTrace(const std::string& line);

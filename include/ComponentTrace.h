// The component libraries' trace lines go to the program's log through a sink
// the program hands each library when it binds it, so that a library never
// links to the program. The export is optional: a library without it keeps
// writing its lines to standard output.
#pragma once

// level: 1 for errors and state changes, 2 for everything else. line may end
// in a line break. Called on any of the library's threads.
using ComponentTraceSink = void (*)(int level, const char* line);

// The export's name; its type is void (*)(ComponentTraceSink).
inline constexpr char kSetComponentTraceSinkExport[] = "SetComponentTraceSink";

// The simulator's record of every text in both directions and of what
// happened to the attach handshake and the client's windows, with times.
// Portable and thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace skypesim {

enum class Direction {
    kFromClient,  // a command the application sent ("->")
    kToClient,    // a reply or notification the simulator sent ("<-")
    kIgnored,     // a text from a window that is not attached ("!!")
    kAttach,      // discover and attach messages ("**")
    kWindow,      // what happened to the client's windows ("[]")
    kNote,        // script notes and failures ("##")
};

struct TranscriptEntry {
    long long ms = 0;  // since the simulator started
    Direction direction = Direction::kNote;
    std::string text;
};

// "  12.345 -> PROTOCOL 5"
std::string FormatEntry(const TranscriptEntry& entry);

class Transcript {
public:
    void Add(long long ms, Direction direction, const std::string& text);
    std::vector<TranscriptEntry> Entries() const;
    std::string Text() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<TranscriptEntry> entries_;
};

}  // namespace skypesim

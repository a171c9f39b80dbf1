#include "Transcript.h"

#include <cstdio>

namespace skypesim {

std::string FormatEntry(const TranscriptEntry& entry) {
    const char* mark = "##";
    switch (entry.direction) {
        case Direction::kFromClient:
            mark = "->";
            break;
        case Direction::kToClient:
            mark = "<-";
            break;
        case Direction::kIgnored:
            mark = "!!";
            break;
        case Direction::kAttach:
            mark = "**";
            break;
        case Direction::kWindow:
            mark = "[]";
            break;
        case Direction::kNote:
            break;
    }
    char time[32];
    std::snprintf(time, sizeof(time), "%4lld.%03lld", entry.ms / 1000, entry.ms % 1000);
    return std::string(time) + " " + mark + " " + entry.text;
}

void Transcript::Add(long long ms, Direction direction, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(TranscriptEntry{ms, direction, text});
}

std::vector<TranscriptEntry> Transcript::Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

std::string Transcript::Text() const {
    std::string out;
    for (const TranscriptEntry& e : Entries()) {
        out += FormatEntry(e);
        out += '\n';
    }
    return out;
}

void Transcript::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
}

}  // namespace skypesim

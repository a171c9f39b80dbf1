// The program's last trace lines, kept in memory so that a crash report can
// say what happened just before. Fixed storage: adding a line allocates
// nothing, and the crash reporter reads the lines without the lock (the
// crashed thread may hold it), accepting a line torn by a concurrent writer.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

class TraceRing {
public:
    static constexpr std::size_t kLines = 200;
    // Longer lines are cut to this many bytes.
    static constexpr std::size_t kLineBytes = 255;

    // Keeps line without its trailing line breaks, dropping the oldest when full.
    void Add(const char* line);
    // The same for a line masked already.
    void AddMasked(const char* line);
    // The number of lines kept, and line i of them, oldest first.
    std::size_t Count() const;
    const char* Line(std::size_t i) const;

private:
    std::mutex m_lock;
    char m_lines[kLines][kLineBytes + 1] = {};
    std::atomic<std::size_t> m_added{0};
};

// The ring the program's trace feeds.
TraceRing& ProgramTraceRing();

// Replaces with '*', in place, the digits (and '#') of what a trace line of
// the Skype texts says about the user's calls and money: the keys pressed
// (DTMF, BTN_PRESSED, BTN_RELEASED), the numbers called or calling (a CALL
// command's targets, PARTNER_HANDLE, PSTN_NUMBER, TARGET_IDENTITY, a
// PARTNER_DISPNAME that is a number, any word with "+" and a digit) and the
// SkypeOut balance (PSTN_BALANCE). Call ids, other words and the length stay,
// so the line still shows what happened. Every line the ring keeps is masked;
// any other place that writes these texts out should mask them too.
void MaskPrivateDigits(char* line);

#include "TraceRing.h"

#include <algorithm>
#include <cstring>

namespace {

struct Word {
    char* begin;
    char* end;
};

Word NextWord(char* from) {
    while (*from == ' ') {
        ++from;
    }
    char* end = from;
    while (*end != '\0' && *end != ' ') {
        ++end;
    }
    return {from, end};
}

bool Is(const Word& word, const char* text) {
    const std::size_t length = std::strlen(text);
    return static_cast<std::size_t>(word.end - word.begin) == length &&
           std::memcmp(word.begin, text, length) == 0;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A phone number starts with "+" or a digit; a Skype name starts with a letter.
bool IsNumber(const Word& word) {
    return word.begin != word.end && (word.begin[0] == '+' || IsDigit(word.begin[0]));
}

bool HasPlusDigit(const Word& word) {
    for (const char* c = word.begin; c + 1 < word.end; ++c) {
        if (c[0] == '+' && IsDigit(c[1])) {
            return true;
        }
    }
    return false;
}

bool IsCallId(const Word& word) {
    for (const char* c = word.begin; c != word.end; ++c) {
        if (!IsDigit(*c)) {
            return false;
        }
    }
    return word.begin != word.end;
}

void Mask(const Word& word) {
    for (char* c = word.begin; c != word.end; ++c) {
        if (IsDigit(*c) || *c == '#') {
            *c = '*';
        }
    }
}

}  // namespace

void MaskPrivateDigits(char* line) {
    // Set after a CALL command (CALL <targets>) and a number for a display
    // name: every later word that is a number is masked.
    bool numbersFollow = false;
    for (Word word = NextWord(line); word.begin != word.end; word = NextWord(word.end)) {
        if (numbersFollow ? IsNumber(word) : HasPlusDigit(word)) {
            Mask(word);
        }
        if (Is(word, "CALL")) {
            // "CALL 301 STATUS ..." names a call; "CALL +4930123" places one.
            const Word id = NextWord(word.end);
            const Word next = NextWord(id.end);
            numbersFollow = !IsCallId(id) || next.begin == next.end;
        } else if (Is(word, "DTMF") || Is(word, "BTN_PRESSED") || Is(word, "BTN_RELEASED") ||
                   Is(word, "PSTN_BALANCE")) {
            word = NextWord(word.end);
            Mask(word);
        } else if (Is(word, "PARTNER_HANDLE") || Is(word, "PSTN_NUMBER") ||
                   Is(word, "TARGET_IDENTITY")) {
            word = NextWord(word.end);
            if (IsNumber(word)) {
                Mask(word);
            }
        } else if (Is(word, "PARTNER_DISPNAME")) {
            numbersFollow = IsNumber(NextWord(word.end));
        }
    }
}

void TraceRing::Add(const char* line) {
    if (line == nullptr) {
        return;
    }
    // Masked before it reaches the ring: the crash reporter reads the ring
    // without the lock and may catch a line half written. AddMasked cuts the
    // line breaks.
    char masked[kLineBytes + 1];
    const std::size_t length = std::min(std::strlen(line), kLineBytes);
    std::memcpy(masked, line, length);
    masked[length] = '\0';
    MaskPrivateDigits(masked);
    AddMasked(masked);
}

void TraceRing::AddMasked(const char* line) {
    if (line == nullptr) {
        return;
    }
    std::size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
        --length;
    }
    if (length > kLineBytes) {
        length = kLineBytes;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    const std::size_t added = m_added.load();
    char* slot = m_lines[added % kLines];
    std::memcpy(slot, line, length);
    slot[length] = '\0';
    m_added = added + 1;
}

std::size_t TraceRing::Count() const {
    const std::size_t added = m_added.load();
    return added < kLines ? added : kLines;
}

const char* TraceRing::Line(std::size_t i) const {
    const std::size_t added = m_added.load();
    const std::size_t oldest = added < kLines ? 0 : added % kLines;
    return m_lines[(oldest + i) % kLines];
}

TraceRing& ProgramTraceRing() {
    static TraceRing ring;
    return ring;
}

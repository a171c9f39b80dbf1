#include "NotificationText.h"

#include <climits>
#include <cstring>

namespace {

bool IsUtf8Continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Copies length bytes of text into out (size bytes) at offset used, cut to
// fit at a character boundary; returns the new used length. out stays
// terminated.
std::size_t Append(char* out, std::size_t size, std::size_t used, const char* text,
                   std::size_t length) {
    if (used + 1 >= size) {
        return used;
    }
    std::size_t room = size - 1 - used;
    if (length > room) {
        length = room;
        while (length > 0 && IsUtf8Continuation(static_cast<unsigned char>(text[length]))) {
            --length;
        }
    }
    std::memcpy(out + used, text, length);
    used += length;
    out[used] = '\0';
    return used;
}

// Finds word number index: its start and length. False when there is none.
bool FindWord(const char* text, int index, const char** start, std::size_t* length) {
    if (text == nullptr || index < 0) {
        return false;
    }
    const char* p = text;
    for (int n = 0;; ++n) {
        while (*p == ' ') {
            ++p;
        }
        if (*p == '\0') {
            return false;
        }
        const char* begin = p;
        while (*p != '\0' && *p != ' ') {
            ++p;
        }
        if (n == index) {
            *start = begin;
            *length = static_cast<std::size_t>(p - begin);
            return true;
        }
    }
}

}  // namespace

bool NotificationWord(const char* text, int index, char* out, std::size_t size) {
    if (out == nullptr || size == 0) {
        return false;
    }
    out[0] = '\0';
    const char* start = nullptr;
    std::size_t length = 0;
    if (!FindWord(text, index, &start, &length)) {
        return false;
    }
    Append(out, size, 0, start, length);
    return true;
}

void JoinWordsFrom(const char* text, int index, char* out, std::size_t size) {
    if (out == nullptr || size == 0) {
        return;
    }
    out[0] = '\0';
    const char* start = nullptr;
    std::size_t length = 0;
    if (!FindWord(text, index, &start, &length)) {
        return;
    }
    std::size_t used = 0;
    const char* p = start;
    while (*p != '\0') {
        while (*p == ' ') {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        const char* begin = p;
        while (*p != '\0' && *p != ' ') {
            ++p;
        }
        used = Append(out, size, used, begin, static_cast<std::size_t>(p - begin));
        used = Append(out, size, used, " ", 1);
        if (used + 1 >= size) {
            break;
        }
    }
}

long long DecimalPrefix(const char* begin, const char* end) {
    const char* p = begin;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (value > (LLONG_MAX - digit) / 10) {
            return negative ? LLONG_MIN : LLONG_MAX;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

long long DecimalLong(const char* word) {
    if (word == nullptr) {
        return 0;
    }
    return DecimalPrefix(word, word + std::strlen(word));
}

int DecimalInt(const char* word) {
    return ClampToInt(DecimalLong(word));
}

int ClampToInt(long long value) {
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return false;
    }
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a);
        unsigned char y = static_cast<unsigned char>(*b);
        if (x >= 'a' && x <= 'z') {
            x = static_cast<unsigned char>(x - 'a' + 'A');
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<unsigned char>(y - 'a' + 'A');
        }
        if (x != y) {
            return false;
        }
        if (x == '\0') {
            return true;
        }
    }
}

// Reading the words of a notification text from Skype. Words are runs of
// characters other than a blank; every copy is cut to the buffer it goes into
// (never in the middle of a UTF-8 character) and always NUL-terminated, so no
// text of any length or content can overflow a reader's buffer.
#pragma once

#include <cstddef>

// Copies word number index (0 for the first word) of text into out (size
// bytes). Returns false, leaving out empty, when the text has fewer words.
bool NotificationWord(const char* text, int index, char* out, std::size_t size);

// Every word from number index on, each followed by one blank, into out (size
// bytes): a text with words there ends in a blank, one without stays empty.
void JoinWordsFrom(const char* text, int index, char* out, std::size_t size);

// A decimal number at the start of word (an optional sign, then digits); 0 for
// a word that does not start with one. Values beyond the type's range are held
// at its limits.
int DecimalInt(const char* word);
long long DecimalLong(const char* word);

// ASCII letters compared without regard to case.
bool EqualsIgnoringCase(const char* a, const char* b);

// The comma- and blank-separated tokens of text after the first, read as
// decimal numbers (a token that is not one reads as 0), handed to visit in order.
template <typename Visit>
void ForEachListedNumber(const char* text, Visit visit);

// ---- implementation of the template ----

long long DecimalPrefix(const char* begin, const char* end);
int ClampToInt(long long value);

template <typename Visit>
void ForEachListedNumber(const char* text, Visit visit) {
    if (text == nullptr) {
        return;
    }
    bool first = true;
    const char* p = text;
    for (;;) {
        while (*p == ',' || *p == ' ') {
            ++p;
        }
        if (*p == '\0') {
            return;
        }
        const char* start = p;
        while (*p != '\0' && *p != ',' && *p != ' ') {
            ++p;
        }
        if (first) {
            first = false;  // the word that opens the reply
            continue;
        }
        visit(ClampToInt(DecimalPrefix(start, p)));
    }
}

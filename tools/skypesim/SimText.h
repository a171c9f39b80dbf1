// Small text helpers shared by the simulator's command parser, its scenario
// parser and its expectations. Portable: no platform headers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skypesim {

// Splits at runs of blanks and tabs; no empty words.
std::vector<std::string> SplitWords(std::string_view text);

// The text after the first n words and the blank run that follows them, with
// trailing blanks removed; blanks inside the rest are kept as they are.
std::string RestAfterWords(std::string_view text, size_t n);

// ASCII upper case; bytes above 0x7F (UTF-8) are left alone.
std::string Upper(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Collapses blank runs to one blank and trims both ends.
std::string NormalizeBlanks(std::string_view text);

// Glob match after normalising blanks on both sides: '*' matches any run of
// characters (also none), '?' any one character; everything else literally.
bool MatchesPattern(std::string_view pattern, std::string_view text);

// Parses a whole decimal number (optional leading '-'); false on anything else
// or on overflow of a 64-bit value.
bool ParseInt(std::string_view text, long long* value);

// Splits a scenario line into words; a word may be a double-quoted string
// (with \" and \\ escapes), and key="quoted value" keeps the key. Returns
// false with an error text for an unterminated quote.
bool SplitScenarioWords(std::string_view line, std::vector<std::string>* words, std::string* error);

}  // namespace skypesim

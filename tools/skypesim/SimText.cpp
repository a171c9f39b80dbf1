#include "SimText.h"

#include <cctype>
#include <limits>

namespace skypesim {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool GlobFrom(std::string_view p, std::string_view t) {
    // Iterative glob with one back-tracking point: linear in practice and
    // never recursive, so hostile patterns cannot blow the stack.
    size_t pi = 0;
    size_t ti = 0;
    size_t starP = std::string_view::npos;
    size_t starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == t[ti])) {
            ++pi;
            ++ti;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starT = ti;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') {
        ++pi;
    }
    return pi == p.size();
}

}  // namespace

std::vector<std::string> SplitWords(std::string_view text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) {
            ++i;
        }
        if (i > start) {
            words.emplace_back(text.substr(start, i - start));
        }
    }
    return words;
}

std::string RestAfterWords(std::string_view text, size_t n) {
    size_t i = 0;
    for (size_t w = 0; w < n; ++w) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        while (i < text.size() && !IsBlank(text[i])) {
            ++i;
        }
    }
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    size_t end = text.size();
    while (end > i && IsBlank(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(i, end - i));
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && Upper(a) == Upper(b);
}

std::string NormalizeBlanks(std::string_view text) {
    std::string out;
    for (const std::string& word : SplitWords(text)) {
        if (!out.empty()) {
            out += ' ';
        }
        out += word;
    }
    return out;
}

bool MatchesPattern(std::string_view pattern, std::string_view text) {
    return GlobFrom(NormalizeBlanks(pattern), NormalizeBlanks(text));
}

bool ParseInt(std::string_view text, long long* value) {
    if (text.empty()) {
        return false;
    }
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-') {
        negative = true;
        i = 1;
    }
    if (i == text.size()) {
        return false;
    }
    unsigned long long result = 0;
    const unsigned long long limit =
        static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        result = result * 10 + static_cast<unsigned long long>(text[i] - '0');
        if (result > limit) {
            return false;
        }
    }
    *value = negative ? -static_cast<long long>(result) : static_cast<long long>(result);
    return true;
}

bool SplitScenarioWords(std::string_view line, std::vector<std::string>* words,
                        std::string* error) {
    words->clear();
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        std::string word;
        bool quoted = false;
        while (i < line.size() && !IsBlank(line[i])) {
            if (line[i] == '"') {
                quoted = true;
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    char c = line[i++];
                    if (c == '\\' && i < line.size()) {
                        word += line[i++];
                    } else if (c == '"') {
                        closed = true;
                        break;
                    } else {
                        word += c;
                    }
                }
                if (!closed) {
                    *error = "unterminated quote";
                    return false;
                }
            } else {
                word += line[i++];
            }
        }
        if (!word.empty() || quoted) {
            words->push_back(word);
        }
    }
    return true;
}

}  // namespace skypesim

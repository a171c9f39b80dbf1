// An in-memory private-profile reader with the semantics of the Win32 one:
// section and key names match without regard to case, integers are the
// leading decimal digits of the value, strings are cut to the buffer.
#pragma once

#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>

#include "ProfileReader.h"

class FakeProfile : public IProfileReader {
public:
    // Sets the whole text of the INI file at path. It is parsed here, once,
    // so that reading many keys of a large file stays cheap.
    void SetFile(const std::string& path, const std::string& text) {
        Values values;
        std::istringstream lines(text);
        std::string line;
        std::string current;
        while (std::getline(lines, line)) {
            line = Trim(line);
            if (line.empty() || line[0] == ';') {
                continue;
            }
            if (line.front() == '[' && line.back() == ']') {
                current = Lower(Trim(line.substr(1, line.size() - 2)));
                continue;
            }
            const auto equals = line.find('=');
            if (equals != std::string::npos) {
                // The first of two equal keys in a section wins.
                values.emplace(std::make_pair(current, Lower(Trim(line.substr(0, equals)))),
                               Trim(line.substr(equals + 1)));
            }
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_files[path] = std::move(values);
    }

    unsigned int ReadInt(const char* section, const char* key, int defaultValue,
                         const char* path) override {
        std::string value;
        if (!Find(section, key, path, value)) {
            return static_cast<unsigned int>(defaultValue);
        }
        unsigned int number = 0;
        for (char c : value) {
            if (c < '0' || c > '9') {
                break;
            }
            number = number * 10 + static_cast<unsigned int>(c - '0');
        }
        return number;
    }

    void ReadString(const char* section, const char* key, const char* defaultValue, char* out,
                    std::size_t size, const char* path) override {
        std::string value;
        if (!Find(section, key, path, value)) {
            value = defaultValue ? defaultValue : "";
        }
        if (size == 0) {
            return;
        }
        const std::size_t length = value.size() < size ? value.size() : size - 1;
        std::memcpy(out, value.data(), length);
        out[length] = '\0';
    }

    int reads = 0;

private:
    static std::string Lower(std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return text;
    }
    static std::string Trim(const std::string& text) {
        const auto first = text.find_first_not_of(" \t\r");
        if (first == std::string::npos) {
            return std::string();
        }
        return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
    }

    bool Find(const char* section, const char* key, const char* path, std::string& value) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++reads;
        const auto file = m_files.find(path ? path : "");
        if (file == m_files.end()) {
            return false;
        }
        const auto found = file->second.find(std::make_pair(Lower(section), Lower(key)));
        if (found == file->second.end()) {
            return false;
        }
        value = found->second;
        return true;
    }

    std::mutex m_mutex;
    // Values by section and key, both in lower case.
    using Values = std::map<std::pair<std::string, std::string>, std::string>;
    std::map<std::string, Values> m_files;
};

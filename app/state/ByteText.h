// A text of bytes as Skype delivered it (UTF-8), held without a terminating
// zero. Every reader in the program passes a cleared 255-byte buffer, so a
// text keeps at most 254 bytes: longer texts are cut when they are stored,
// at a character boundary, and can never overflow a reader's buffer.
#pragma once

#include <cstring>
#include <string>

// Size of the text buffers that readers pass throughout the program.
inline constexpr int kTextBufferSize = 255;

class ByteText {
public:
    static constexpr int kMaxLength = kTextBufferSize - 1;

    // A null text or a length below 1 empties the text.
    void Set(const char* text, int length) {
        if (text == nullptr || length <= 0) {
            bytes_.clear();
            return;
        }
        int kept = length;
        if (kept > kMaxLength) {
            kept = kMaxLength;
            // Do not keep the first bytes of a UTF-8 character whose rest is cut off.
            while (kept > 0 && (static_cast<unsigned char>(text[kept]) & 0xC0) == 0x80) {
                --kept;
            }
        }
        bytes_.assign(text, static_cast<std::size_t>(kept));
    }
    void Clear() { bytes_.clear(); }

    bool Empty() const { return bytes_.empty(); }
    int Length() const { return static_cast<int>(bytes_.size()); }
    const std::string& Bytes() const { return bytes_; }

    // Copies exactly Length() bytes, no terminator, into a buffer of
    // kTextBufferSize bytes.
    void CopyTo(char* buffer) const {
        if (!bytes_.empty()) {
            std::memcpy(buffer, bytes_.data(), bytes_.size());
        }
    }

private:
    std::string bytes_;
};

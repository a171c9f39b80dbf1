#include "HsdFontProcessImpl.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "FontPause.h"
#include "GlyphIndex.h"
#include "I_HsdHIDCtrl.h"
#include "LatinTable.h"

using namespace fontfiles;

namespace {

constexpr unsigned char kAsciiMarker = 0x70;
constexpr unsigned char kLatinMarker = 0xDE;
constexpr unsigned char kWideMarker = 0x71;
constexpr unsigned char kMarkerData = 0x0A;
constexpr unsigned char kPhaseOdd = 5;

// A line of the LCD is 32 column units: one per ASCII or Latin character,
// two per double-byte glyph.
constexpr int kLineUnits = 32;
// UTF_8ToUnicode2Font stops once it has written this many bytes.
constexpr int kMenuTextBytes = 32;

constexpr unsigned kPauseBetweenItemsMs = 3;
constexpr unsigned kPauseAfterFailedAttemptMs = 15;
constexpr unsigned kPauseAfterLastAttemptMs = 1;
constexpr unsigned kPauseAfterTransferMs = 300;
constexpr unsigned kPauseAtDestructionMs = 20;
constexpr int kSendAttempts = 4;

// The credit balance is shown as "Balance:", this currency sign, then the
// amount.
constexpr unsigned char kBalanceGlyph[kWideGlyphBytes] = {
    0x00, 0x00, 0x00, 0x40, 0xF0, 0x48, 0x44, 0x44, 0x44, 0x44, 0x44, 0x48, 0x1C, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x02, 0x0F, 0x12, 0x22, 0x22, 0x22, 0x22, 0x22, 0x12, 0x08, 0x00, 0x00, 0x00};
constexpr char kBalanceLabel[] = "Balance:";
constexpr char kNoBalance[] = "No Skypeout Privilege.";
constexpr char kUnknownUser[] = "Unknown User...";

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// One character of a UTF-8 text. Only a byte's top bit decides whether it
// continues a sequence; a NUL never does, so the decoder never looks past the
// end of the text.
struct Utf8Char {
    enum Kind {
        kSingle,     // one byte, taken as it is (0x80-0xBF included)
        kValue,      // two or three bytes forming a UCS-2 value
        kNoValue,    // a four-byte sequence: outside UCS-2, shown as a blank cell
        kMalformed,  // a sequence that ends too early: skipped
    };
    Kind kind;
    int length;
    std::uint16_t value;
};

bool Continues(unsigned char byte) {
    return (byte & 0x80) != 0;
}

// A malformed sequence is skipped whole: its lead byte and the bytes after it
// that did continue it.
Utf8Char Malformed(const unsigned char* p, int needed) {
    int length = 1;
    while (length < needed && Continues(p[length])) {
        ++length;
    }
    return {Utf8Char::kMalformed, length, 0};
}

Utf8Char DecodeUtf8(const unsigned char* p) {
    const unsigned char lead = p[0];
    if (lead >= 0xF0) {
        if (Continues(p[1]) && Continues(p[2]) && Continues(p[3])) {
            return {Utf8Char::kNoValue, 4, 0};
        }
        return Malformed(p, 4);
    }
    if (lead >= 0xE0) {
        if (Continues(p[1]) && Continues(p[2])) {
            const unsigned value = (lead & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
            return {Utf8Char::kValue, 3, static_cast<std::uint16_t>(value)};
        }
        return Malformed(p, 3);
    }
    if (lead >= 0xC0) {
        if (Continues(p[1])) {
            const unsigned value = (lead & 0x1Fu) << 6 | (p[1] & 0x3Fu);
            return {Utf8Char::kValue, 2, static_cast<std::uint16_t>(value)};
        }
        return Malformed(p, 2);
    }
    return {Utf8Char::kSingle, 1, lead};
}

// Reads entry `index` of `size` bytes; true only when it is there in full.
bool ReadEntry(std::FILE* file, long index, long size, unsigned char* out) {
    if (file == nullptr || index < 0) {
        return false;
    }
    if (std::fseek(file, index * size, SEEK_SET) != 0) {
        return false;
    }
    return std::fread(out, 1, static_cast<std::size_t>(size), file) ==
           static_cast<std::size_t>(size);
}

// A code entry maps only when neither byte is zero.
bool ReadCodeEntry(std::FILE* file, long index, unsigned char* out) {
    unsigned char entry[2];
    if (!ReadEntry(file, index, 2, entry) || entry[0] == 0 || entry[1] == 0) {
        return false;
    }
    out[0] = entry[0];
    out[1] = entry[1];
    return true;
}

// An inverse entry maps unless the whole value is zero: characters such as
// U+4E00 have a zero byte and are still mapped.
bool ReadUnicodeEntry(std::FILE* file, long index, unsigned* value) {
    unsigned char entry[2];
    if (!ReadEntry(file, index, 2, entry) || (entry[0] == 0 && entry[1] == 0)) {
        return false;
    }
    *value = static_cast<unsigned>(entry[0]) << 8 | entry[1];
    return true;
}

// The UTF-8 form of a UCS-2 value, shortest form; returns its length.
int EncodeUtf8(unsigned value, unsigned char* out) {
    if (value < 0x80) {
        out[0] = static_cast<unsigned char>(value);
        return 1;
    }
    if (value < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | value >> 6);
        out[1] = static_cast<unsigned char>(0x80 | (value & 0x3F));
        return 2;
    }
    out[0] = static_cast<unsigned char>(0xE0 | value >> 12);
    out[1] = static_cast<unsigned char>(0x80 | (value >> 6 & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (value & 0x3F));
    return 3;
}

unsigned CodeOf(const unsigned char* code) {
    return static_cast<unsigned>(code[0]) << 8 | code[1];
}

// Sends one item; up to four attempts, an item that still fails is skipped.
void SendItem(I_HsdHIDCtrl* hidCtrl, unsigned char command, unsigned char data) {
    for (int attempt = 1; attempt <= kSendAttempts; ++attempt) {
        if (hidCtrl->SendCommandData(command, data) == HSD_OK) {
            return;
        }
        if (attempt < kSendAttempts) {
            char line[64];
            std::snprintf(line, sizeof line, " Faile to send data .....(%d).\n", attempt);
            FontTrace(1, line);
            FontPause(kPauseAfterFailedAttemptMs);
        } else {
            FontPause(kPauseAfterLastAttemptMs);
        }
    }
}

}  // namespace

// Builds a pending stream: markers, and data items with their phase byte.
class CHsdFontProcessImpl::StreamWriter {
public:
    enum Mode { kNone, kAscii, kLatin, kWide };

    void Marker(unsigned char marker) {
        bytes_.push_back(marker);
        bytes_.push_back(kMarkerData);
        phase_ = 0;
    }
    void Data(unsigned char byte) {
        bytes_.push_back(byte);
        bytes_.push_back(phase_);
        phase_ = phase_ == 0 ? kPhaseOdd : 0;
    }
    void ResetPhase() { phase_ = 0; }

    Stream Take() { return std::move(bytes_); }

    Mode mode = kNone;
    bool firstCharacter = true;
    int units = 0;

private:
    Stream bytes_;
    unsigned char phase_ = 0;
};

CHsdFontProcessImpl::~CHsdFontProcessImpl() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    CloseFontFiles();
    FontPause(kPauseAtDestructionMs);
    pendingStream_.reset();
}

void CHsdFontProcessImpl::CloseFontFiles() {
    for (std::FILE** file : {&fileTIF0_, &fileTIF6_, &fileTIF2_, &fileTurkeyInx_, &fileTCF0_,
                             &fileTCF6_, &fileTCF2_, &fileTurkey8x16_}) {
        if (*file != nullptr) {
            std::fclose(*file);
            *file = nullptr;
        }
    }
}

std::string CHsdFontProcessImpl::FontPath(const char* name) const {
    if (fontFolder_.empty()) {
        return name;
    }
    return fontFolder_ + kPathSeparator + name;
}

HsdStatus CHsdFontProcessImpl::InitialFontTable(const char* folder) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // A second call reopens the files rather than leaking the first handles.
    CloseFontFiles();
    fontFolder_ = folder != nullptr ? folder : "";
    const struct {
        std::FILE** file;
        const char* name;
    } files[] = {
        {&fileTIF0_, "TIF0.bin"}, {&fileTIF6_, "TIF6.bin"},
        {&fileTIF2_, "TIF2.bin"}, {&fileTurkeyInx_, "TurkeyInx.bin"},
        {&fileTCF0_, "TCF0.bin"}, {&fileTCF6_, "TCF6.bin"},
        {&fileTCF2_, "TCF2.bin"}, {&fileTurkey8x16_, "Turkey_8x16.bin"},
    };
    for (const auto& entry : files) {
        *entry.file = std::fopen(FontPath(entry.name).c_str(), "rb");
    }
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::HexToInt(const unsigned char* bytes, int length,
                                        std::int32_t* value) {
    // Up to four bytes, most significant first.
    if (bytes == nullptr || value == nullptr || length < 1 || length > 4) {
        return E_FAIL;
    }
    std::uint32_t result = 0;
    for (int i = 0; i < length; ++i) {
        result = result << 8 | bytes[i];
    }
    *value = static_cast<std::int32_t>(result);
    return HSD_OK;
}

int CHsdFontProcessImpl::LastCodeTable() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return lastCodeTable_;
}

HsdStatus CHsdFontProcessImpl::TransferUnicodeToCode(unsigned char* buffer) {
    if (buffer == nullptr) {
        return E_FAIL;
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    lastCodeTable_ = -1;
    const long unicode = static_cast<long>(CodeOf(buffer));
    const struct {
        std::FILE* file;
        long base;
        int table;
    } tables[] = {
        {fileTIF0_, kBig5UnicodeBase, 1},
        {fileTIF2_, kShiftJisUnicodeBase, 3},
        {fileTIF6_, kGb2312UnicodeBase, 2},
    };
    for (const auto& table : tables) {
        if (ReadCodeEntry(table.file, unicode - table.base, buffer)) {
            lastCodeTable_ = table.table;
            return HSD_OK;
        }
    }
    return E_FAIL;
}

HsdStatus CHsdFontProcessImpl::GlyphLookup(std::FILE* file, int index, unsigned char* glyph) {
    if (file == nullptr || index < 0 || glyph == nullptr) {
        return E_FAIL;
    }
    unsigned char bytes[kWideGlyphBytes];
    if (ReadEntry(file, index, kWideGlyphBytes, bytes)) {
        std::memcpy(glyph, bytes, sizeof bytes);
    }
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::Transfer950FontCode(const unsigned char* code,
                                                   unsigned char* glyph) {
    if (code == nullptr) {
        return E_FAIL;
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return GlyphLookup(fileTCF0_, Big5GlyphIndex(CodeOf(code)), glyph);
}

HsdStatus CHsdFontProcessImpl::Transfer936FontCode(const unsigned char* code,
                                                   unsigned char* glyph) {
    if (code == nullptr) {
        return E_FAIL;
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return GlyphLookup(fileTCF6_, Gb2312GlyphIndex(CodeOf(code)), glyph);
}

HsdStatus CHsdFontProcessImpl::Transfer932FontCode(const unsigned char* code,
                                                   unsigned char* glyph) {
    if (code == nullptr) {
        return E_FAIL;
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return GlyphLookup(fileTCF2_, ShiftJisGlyphIndex(CodeOf(code)), glyph);
}

HsdStatus CHsdFontProcessImpl::TransferUnicodeToLatin(const unsigned char* ucs2,
                                                      std::int32_t* code) {
    if (ucs2 == nullptr || code == nullptr) {
        return 0;
    }
    const unsigned unicode = CodeOf(ucs2);
    if (unicode <= 0x7F || (unicode >= 0xA0 && unicode <= 0xFF)) {
        *code = static_cast<std::int32_t>(unicode);
        return 1;
    }
    for (const LatinEntry& entry : kLatinTable) {
        if (entry.unicode == unicode) {
            *code = entry.code;
            return 1;
        }
    }
    *code = 0x20;
    return 0;
}

void CHsdFontProcessImpl::TransferLatinFontCode(std::int32_t code, unsigned char* glyph) {
    if (glyph == nullptr) {
        return;
    }
    // The lock keeps the seek and the read of one lookup together when
    // another thread converts text at the same time.
    std::lock_guard<std::recursive_mutex> guard(lock_);
    unsigned char bytes[kLatinGlyphBytes];
    if (ReadEntry(fileTurkey8x16_, code, kLatinGlyphBytes, bytes)) {
        std::memcpy(glyph, bytes, sizeof bytes);
    }
}

void CHsdFontProcessImpl::WriteAscii(StreamWriter& writer, unsigned char character) {
    if (writer.mode != StreamWriter::kAscii || writer.firstCharacter) {
        writer.Marker(kAsciiMarker);
        writer.mode = StreamWriter::kAscii;
    }
    writer.Data(character);
    writer.units += 1;
}

void CHsdFontProcessImpl::WriteLatin(StreamWriter& writer, std::int32_t latinCode) {
    if (writer.mode != StreamWriter::kLatin || writer.firstCharacter) {
        writer.Marker(kLatinMarker);
        writer.mode = StreamWriter::kLatin;
    }
    unsigned char glyph[kLatinGlyphBytes] = {};
    TransferLatinFontCode(latinCode, glyph);
    for (unsigned char byte : glyph) {
        writer.Data(byte);
    }
    writer.units += 1;
}

// A 16x16 glyph for a UCS-2 value; a blank cell when unicode is null or the
// value has no glyph.
void CHsdFontProcessImpl::WriteWide(StreamWriter& writer, const std::uint16_t* unicode) {
    if (writer.mode != StreamWriter::kWide) {
        writer.Marker(kWideMarker);
        writer.mode = StreamWriter::kWide;
    }
    unsigned char glyph[kWideGlyphBytes] = {};
    if (unicode != nullptr) {
        unsigned char code[2] = {static_cast<unsigned char>(*unicode >> 8),
                                 static_cast<unsigned char>(*unicode & 0xFF)};
        if (TransferUnicodeToCode(code) == HSD_OK) {
            switch (lastCodeTable_) {
                case 1:
                    Transfer950FontCode(code, glyph);
                    break;
                case 2:
                    Transfer936FontCode(code, glyph);
                    break;
                case 3:
                    Transfer932FontCode(code, glyph);
                    break;
                default:
                    break;
            }
        }
    }
    writer.ResetPhase();
    for (unsigned char byte : glyph) {
        writer.Data(byte);
    }
    writer.units += 2;
}

void CHsdFontProcessImpl::ReplacePending(std::shared_ptr<const Stream> stream) {
    pendingCount_ = static_cast<std::uint32_t>(stream->size() / 2);
    pendingStream_ = std::move(stream);
}

void CHsdFontProcessImpl::ReleasePending(const std::shared_ptr<const Stream>& sent) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // A conversion during the transfer left a newer stream for the next one.
    if (pendingStream_ == sent) {
        pendingStream_.reset();
        pendingCount_ = 0;
    }
}

HsdStatus CHsdFontProcessImpl::UTF_8ToUnicodeToFontCode(const char* text) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (enabled_ == 0 || text == nullptr || text[0] == '\0') {
        return E_FAIL;
    }
    StreamWriter writer;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        const Utf8Char character = DecodeUtf8(p);
        switch (character.kind) {
            case Utf8Char::kSingle:
                WriteAscii(writer, static_cast<unsigned char>(character.value));
                break;
            case Utf8Char::kValue: {
                const unsigned char ucs2[2] = {static_cast<unsigned char>(character.value >> 8),
                                               static_cast<unsigned char>(character.value & 0xFF)};
                std::int32_t latinCode = 0;
                if (TransferUnicodeToLatin(ucs2, &latinCode) == 1) {
                    WriteLatin(writer, latinCode);
                } else {
                    WriteWide(writer, &character.value);
                }
                break;
            }
            case Utf8Char::kNoValue:
                WriteWide(writer, nullptr);
                break;
            case Utf8Char::kMalformed:
                break;
        }
        if (character.kind != Utf8Char::kMalformed) {
            writer.firstCharacter = false;
        }
        if (writer.units >= kLineUnits) {
            break;
        }
        p += character.length;
    }
    ReplacePending(std::make_shared<const Stream>(writer.Take()));
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::Unicode2FontCode(const unsigned char* text) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (enabled_ == 0 || text == nullptr || text[0] == 0) {
        return E_FAIL;
    }
    StreamWriter writer;
    const unsigned char* p = text;
    while (*p != 0) {
        int length = 1;
        if (*p < 0x80) {
            WriteAscii(writer, *p);
        } else {
            // A value cut short by the end of the text is not read past it.
            if (p[1] == 0) {
                break;
            }
            const auto unicode = static_cast<std::uint16_t>(p[0] << 8 | p[1]);
            WriteWide(writer, &unicode);
            length = 2;
        }
        writer.firstCharacter = false;
        if (writer.units >= kLineUnits) {
            break;
        }
        p += length;
    }
    ReplacePending(std::make_shared<const Stream>(writer.Take()));
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::UTF_8ToUnicode2Font(const char* text, unsigned char* out) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (enabled_ == 0 || text == nullptr || text[0] == '\0' || out == nullptr) {
        return E_FAIL;
    }
    pendingCount_ = 0;
    int written = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0 && written < kMenuTextBytes) {
        const Utf8Char character = DecodeUtf8(p);
        if (character.kind == Utf8Char::kSingle) {
            out[written++] = static_cast<unsigned char>(character.value);
        } else if (character.kind == Utf8Char::kValue && character.length == 2) {
            out[written++] = static_cast<unsigned char>(character.value & 0xFF);
        } else if (character.kind == Utf8Char::kValue) {
            unsigned char code[2] = {static_cast<unsigned char>(character.value >> 8),
                                     static_cast<unsigned char>(character.value & 0xFF)};
            if (TransferUnicodeToCode(code) == HSD_OK) {
                out[written++] = code[0];
                out[written++] = code[1];
            }
        }
        p += character.length;
    }
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::FontCodeToUnicodeToUTF_8(const char* text, unsigned char* out) {
    if (text == nullptr || out == nullptr) {
        return E_FAIL;
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::FILE* inverse[3] = {};
    const char* names[3] = {"TI0Inv.bin", "TI6Inv.bin", "TI2Inv.bin"};
    for (int i = 0; i < 3; ++i) {
        inverse[i] = std::fopen(FontPath(names[i]).c_str(), "rb");
        if (inverse[i] == nullptr) {
            for (int j = 0; j < i; ++j) {
                std::fclose(inverse[j]);
            }
            return E_FAIL;
        }
    }
    const long bases[3] = {kBig5InverseBase, kGb2312InverseBase, kShiftJisInverseBase};
    const int tableIds[3] = {1, 2, 3};

    // The callers' buffers hold 255 bytes and must stay terminated, so the
    // output never exceeds 254 bytes, whatever the length of the text.
    int written = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        if (*p < 0x80) {
            if (written + 1 > kHsdFontTextMaxBytes) {
                break;
            }
            out[written++] = *p++;
            continue;
        }
        int found = -1;
        unsigned unicode = 0;
        if (p[1] != 0) {
            const long code = static_cast<long>(CodeOf(p));
            for (int i = 0; i < 3 && found < 0; ++i) {
                if (ReadUnicodeEntry(inverse[i], code - bases[i], &unicode)) {
                    found = i;
                    lastCodeTable_ = tableIds[i];
                }
            }
        }
        if (found < 0) {
            ++p;
            continue;
        }
        unsigned char utf8[3];
        const int length = EncodeUtf8(unicode, utf8);
        if (written + length > kHsdFontTextMaxBytes) {
            break;
        }
        std::memcpy(out + written, utf8, static_cast<std::size_t>(length));
        written += length;
        p += 2;
    }
    for (std::FILE* file : inverse) {
        std::fclose(file);
    }
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::BalanceToFontCode(std::int32_t balance) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (enabled_ == 0) {
        return E_FAIL;
    }
    StreamWriter writer;
    if (balance != 0) {
        writer.Marker(kAsciiMarker);
        for (const char* c = kBalanceLabel; *c != '\0'; ++c) {
            writer.Data(static_cast<unsigned char>(*c));
        }
        writer.Marker(kWideMarker);
        for (unsigned char byte : kBalanceGlyph) {
            writer.Data(byte);
        }
        writer.Marker(kAsciiMarker);
        // Hundredths: the point goes before the last two digits, and the
        // text's terminating NUL is sent as the last item.
        const std::string digits = std::to_string(balance);
        const std::size_t length = digits.size();
        for (std::size_t position = 0; position <= length; ++position) {
            if (length >= 2 && position == length - 2) {
                writer.Data('.');
            }
            writer.Data(position < length ? static_cast<unsigned char>(digits[position]) : 0);
        }
    } else {
        writer.Marker(kAsciiMarker);
        for (const char* c = kNoBalance; *c != '\0'; ++c) {
            writer.Data(static_cast<unsigned char>(*c));
        }
    }
    ReplacePending(std::make_shared<const Stream>(writer.Take()));
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::SendFontCode2MCU() {
    // Runs without holding the lock, so that a stop request reaches it; it
    // only takes the lock to pick up its own reference to the pending stream.
    std::shared_ptr<const Stream> stream;
    std::uint32_t count = 0;
    I_HsdHIDCtrl* hidCtrl = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        stream = pendingStream_;
        count = pendingCount_;
        hidCtrl = hidCtrl_;
    }
    if (!stream) {
        return E_FAIL;
    }
    // A stop asked for before this point is kept: it ends the transfer after
    // its first item. Only the transfer that honours a stop, or the caller
    // withdrawing it, clears it.
    if (enabled_ == 0 || hidCtrl == nullptr) {
        return E_FAIL;
    }
    const bool pace = paceTransfers_ != 0;

    if (count == 0) {
        // A stream that holds nothing shows a fixed text instead.
        hidCtrl->SendCommandData(kAsciiMarker, kMarkerData);
        unsigned char phase = 0;
        for (const char* c = kUnknownUser; *c != '\0'; ++c) {
            SendItem(hidCtrl, static_cast<unsigned char>(*c), phase);
            phase = phase == 0 ? kPhaseOdd : 0;
            if (stopTransfer_.exchange(0) != 0) {
                return 1;
            }
            if (pace) {
                FontPause(kPauseBetweenItemsMs);
            }
        }
        return E_FAIL;
    }

    count = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(stream->size() / 2));
    const unsigned char* items = stream->data();
    for (std::uint32_t i = 0; i < count; ++i) {
        SendItem(hidCtrl, items[2 * i], items[2 * i + 1]);
        if (stopTransfer_.exchange(0) != 0) {
            ReleasePending(stream);
            return 1;
        }
        if (pace) {
            FontPause(kPauseBetweenItemsMs);
        }
    }
    FontPause(kPauseAfterTransferMs);
    ReleasePending(stream);
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::SetHIDCtrlInterface(I_HsdHIDCtrl* hidCtrl) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    hidCtrl_ = hidCtrl;
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::SetHIDCtrlInterfaceKey(int handsetOpen, int pace) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    enabled_ = handsetOpen == 1 ? 1 : 0;
    paceTransfers_ = pace;
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::SetkeepProcess2MCUDataMonitor(std::int32_t flag) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    stopTransfer_ = flag;
    return HSD_OK;
}

HsdStatus CHsdFontProcessImpl::SetSupportedARF(std::int32_t flag) {
    supportedARF_ = flag;
    return HSD_OK;
}

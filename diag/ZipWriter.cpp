#include "ZipWriter.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kDescriptor = 0x08074b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint16_t kVersion = 20;        // 2.0: deflate
constexpr std::uint16_t kSizesFollow = 0x08;  // CRC and sizes in the descriptor
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint64_t kLimit = 0xffffffffu;  // without zip64 extensions
constexpr std::size_t kCopyBuffer = 16 * 1024;

// Little-endian fields, as the format stores them.
class Fields {
public:
    void U16(std::uint16_t value) {
        m_bytes[m_size++] = static_cast<unsigned char>(value);
        m_bytes[m_size++] = static_cast<unsigned char>(value >> 8);
    }
    void U32(std::uint32_t value) {
        U16(static_cast<std::uint16_t>(value));
        U16(static_cast<std::uint16_t>(value >> 16));
    }
    const unsigned char* Data() const { return m_bytes; }
    std::size_t Size() const { return m_size; }

private:
    unsigned char m_bytes[64] = {};
    std::size_t m_size = 0;
};

}  // namespace

ZipTime MakeZipTime(int year, int month, int day, int hour, int minute, int second) {
    ZipTime when;
    when.date = static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    when.time = static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
    return when;
}

ZipWriter::ZipWriter(ZipOutput& output, void* workspace, std::size_t workspaceSize)
    : m_output(output),
      m_workspace(static_cast<unsigned char*>(workspace)),
      m_workspaceSize(workspaceSize),
      m_entries() {}

void* ZipWriter::Allocate(void* writer, unsigned items, unsigned size) {
    auto* self = static_cast<ZipWriter*>(writer);
    const std::size_t bytes = (static_cast<std::size_t>(items) * size + 15) & ~std::size_t{15};
    if (bytes > self->m_workspaceSize - self->m_workspaceUsed) {
        return Z_NULL;
    }
    void* block = self->m_workspace + self->m_workspaceUsed;
    self->m_workspaceUsed += bytes;
    return block;
}

void ZipWriter::Release(void*, void*) {}

bool ZipWriter::Put(const void* data, std::size_t size) {
    if (m_failed || m_written + size > kLimit || !m_output.Write(data, size)) {
        m_failed = true;
        return false;
    }
    m_written += size;
    return true;
}

bool ZipWriter::Add(const char* name, ZipInput& input, ZipTime when) {
    const std::size_t nameLength = name != nullptr ? std::strlen(name) : 0;
    if (m_failed || nameLength == 0 || nameLength > kMaxName || m_entryCount == kMaxEntries) {
        m_failed = true;
        return false;
    }
    Entry& entry = m_entries[m_entryCount];
    std::memcpy(entry.name, name, nameLength + 1);
    entry.nameLength = static_cast<std::uint16_t>(nameLength);
    entry.when = when;
    entry.offset = static_cast<std::uint32_t>(m_written);

    Fields header;
    header.U32(kLocalHeader);
    header.U16(kVersion);
    header.U16(kSizesFollow);
    header.U16(kDeflated);
    header.U16(when.time);
    header.U16(when.date);
    header.U32(0);  // CRC
    header.U32(0);  // packed size
    header.U32(0);  // size
    header.U16(entry.nameLength);
    header.U16(0);  // extra field
    if (!Put(header.Data(), header.Size()) || !Put(entry.name, nameLength) ||
        !Deflate(input, entry)) {
        return false;
    }
    Fields descriptor;
    descriptor.U32(kDescriptor);
    descriptor.U32(entry.crc);
    descriptor.U32(entry.packedSize);
    descriptor.U32(entry.size);
    if (!Put(descriptor.Data(), descriptor.Size())) {
        return false;
    }
    ++m_entryCount;
    return true;
}

bool ZipWriter::Deflate(ZipInput& input, Entry& entry) {
    m_workspaceUsed = 0;
    auto* in = static_cast<unsigned char*>(Allocate(this, kCopyBuffer, 1));
    auto* out = static_cast<unsigned char*>(Allocate(this, kCopyBuffer, 1));
    z_stream stream{};
    stream.zalloc = Allocate;
    stream.zfree = Release;
    stream.opaque = this;
    // Negative window bits: raw deflate data, as the zip format holds it.
    if (in == nullptr || out == nullptr ||
        deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        m_failed = true;
        return false;
    }
    std::uint64_t size = 0;
    std::uint64_t packed = 0;
    uLong crc = crc32(0, Z_NULL, 0);
    int flush = Z_NO_FLUSH;
    int result = Z_OK;
    while (result == Z_OK) {
        if (stream.avail_in == 0 && flush == Z_NO_FLUSH) {
            const long count = input.Read(in, kCopyBuffer);
            if (count < 0) {
                break;
            }
            if (count == 0) {
                flush = Z_FINISH;
            }
            crc = crc32(crc, in, static_cast<uInt>(count));
            size += static_cast<std::uint64_t>(count);
            stream.next_in = in;
            stream.avail_in = static_cast<uInt>(count);
        }
        stream.next_out = out;
        stream.avail_out = kCopyBuffer;
        result = deflate(&stream, flush);
        const std::size_t produced = kCopyBuffer - stream.avail_out;
        packed += produced;
        if (result == Z_BUF_ERROR) {
            result = Z_OK;  // no progress possible until more input arrives
        }
        if (size > kLimit || (produced > 0 && !Put(out, produced))) {
            break;
        }
    }
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        m_failed = true;
        return false;
    }
    entry.crc = static_cast<std::uint32_t>(crc);
    entry.packedSize = static_cast<std::uint32_t>(packed);
    entry.size = static_cast<std::uint32_t>(size);
    return true;
}

bool ZipWriter::Finish() {
    const std::uint64_t directoryStart = m_written;
    for (int i = 0; i < m_entryCount; ++i) {
        const Entry& entry = m_entries[i];
        Fields header;
        header.U32(kCentralHeader);
        header.U16(kVersion);  // made by: MS-DOS attributes, version 2.0
        header.U16(kVersion);
        header.U16(kSizesFollow);
        header.U16(kDeflated);
        header.U16(entry.when.time);
        header.U16(entry.when.date);
        header.U32(entry.crc);
        header.U32(entry.packedSize);
        header.U32(entry.size);
        header.U16(entry.nameLength);
        header.U16(0);  // extra field
        header.U16(0);  // comment
        header.U16(0);  // disk
        header.U16(0);  // internal attributes
        header.U32(0);  // external attributes
        header.U32(entry.offset);
        if (!Put(header.Data(), header.Size()) || !Put(entry.name, entry.nameLength)) {
            return false;
        }
    }
    Fields end;
    end.U32(kEndOfDirectory);
    end.U16(0);  // this disk
    end.U16(0);  // the directory's disk
    end.U16(static_cast<std::uint16_t>(m_entryCount));
    end.U16(static_cast<std::uint16_t>(m_entryCount));
    end.U32(static_cast<std::uint32_t>(m_written - directoryStart));
    end.U32(static_cast<std::uint32_t>(directoryStart));
    end.U16(0);  // comment
    return Put(end.Data(), end.Size());
}

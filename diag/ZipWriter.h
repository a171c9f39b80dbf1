// A zip archive written front to back, for the crash reporter. Each entry is
// deflated with zlib and followed by a descriptor with its CRC and sizes, so
// the output never seeks. Nothing comes from the heap: zlib's state and the
// copy buffers live in a workspace the caller reserved beforehand, because a
// crash report must still be packed when the heap is damaged.
#pragma once

#include <cstddef>
#include <cstdint>

class ZipOutput {
public:
    virtual ~ZipOutput() = default;
    // Writes all size bytes; false on failure.
    virtual bool Write(const void* data, std::size_t size) = 0;
};

class ZipInput {
public:
    virtual ~ZipInput() = default;
    // Reads up to size bytes into data: the count read, 0 at the end, -1 on failure.
    virtual long Read(void* data, std::size_t size) = 0;
};

// A time as the zip format stores it (local time, two-second steps).
struct ZipTime {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
};
ZipTime MakeZipTime(int year, int month, int day, int hour, int minute, int second);

class ZipWriter {
public:
    // Room for zlib's deflate state at its default memory level and two copy buffers.
    static constexpr std::size_t kWorkspaceSize = 384 * 1024;
    static constexpr int kMaxEntries = 8;
    // Longest entry name, in bytes.
    static constexpr std::size_t kMaxName = 63;

    // workspace: at least kWorkspaceSize bytes, kept until the writer is done.
    ZipWriter(ZipOutput& output, void* workspace, std::size_t workspaceSize);

    // Adds one entry read from input to its end. Names use '/' between folders;
    // an empty or too long name, one entry too many, a file or archive past
    // 4 GiB, or a failure to read or write gives false and spoils the archive.
    bool Add(const char* name, ZipInput& input, ZipTime when);
    // Writes the central directory; the archive is complete when this is true.
    bool Finish();

private:
    struct Entry {
        char name[kMaxName + 1];
        std::uint16_t nameLength;
        ZipTime when;
        std::uint32_t crc;
        std::uint32_t packedSize;
        std::uint32_t size;
        std::uint32_t offset;
    };

    bool Put(const void* data, std::size_t size);
    bool Deflate(ZipInput& input, Entry& entry);

    ZipOutput& m_output;
    unsigned char* m_workspace;
    std::size_t m_workspaceSize;
    std::size_t m_workspaceUsed = 0;
    std::uint64_t m_written = 0;
    bool m_failed = false;
    int m_entryCount = 0;
    Entry m_entries[kMaxEntries];

    // zlib's allocator: hands out the workspace in order, never frees.
    static void* Allocate(void* writer, unsigned items, unsigned size);
    static void Release(void* writer, void* block);
};

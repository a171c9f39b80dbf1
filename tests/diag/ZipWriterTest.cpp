// The zip writer's archives, checked by Info-ZIP's unzip: CRCs and sizes
// (unzip -t), names (unzip -Z1) and contents (unzip -p).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "ZipWriter.h"

namespace {

class FileOutput : public ZipOutput {
public:
    explicit FileOutput(const std::string& path) : m_file(path, std::ios::binary) {}
    bool Write(const void* data, std::size_t size) override {
        m_file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        return static_cast<bool>(m_file);
    }
    void Close() { m_file.close(); }

private:
    std::ofstream m_file;
};

class FixedOutput : public ZipOutput {
public:
    explicit FixedOutput(bool works) : m_works(works) {}
    bool Write(const void*, std::size_t) override { return m_works; }

private:
    bool m_works;
};

// Hands the text out in uneven pieces, as a file read would.
class TextInput : public ZipInput {
public:
    explicit TextInput(std::string text) : m_text(std::move(text)) {}
    long Read(void* data, std::size_t size) override {
        const std::size_t count = std::min({size, m_text.size() - m_at, std::size_t{7001}});
        std::memcpy(data, m_text.data() + m_at, count);
        m_at += count;
        return static_cast<long>(count);
    }

private:
    std::string m_text;
    std::size_t m_at = 0;
};

class ZipWriterTest : public testing::Test {
protected:
    ZipWriterTest()
        : m_path((std::filesystem::temp_directory_path() /
                  ("zipwriter_" + std::to_string(::getpid()) + ".zip"))
                     .string()),
          m_output(m_path),
          m_workspace(new unsigned char[ZipWriter::kWorkspaceSize]),
          m_writer(m_output, m_workspace.get(), ZipWriter::kWorkspaceSize) {}
    ~ZipWriterTest() override { std::filesystem::remove(m_path); }

    bool Add(const char* name, const std::string& text) {
        TextInput input(text);
        return m_writer.Add(name, input, MakeZipTime(2026, 12, 7, 14, 30, 58));
    }
    bool Finish() {
        const bool finished = m_writer.Finish();
        m_output.Close();
        return finished;
    }
    // The exit code and standard output of an unzip command on the archive.
    std::pair<int, std::string> Unzip(const std::string& options) {
        const std::string command = "unzip " + options + " '" + m_path + "' 2>&1";
        std::string text;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            text.append(buffer, n);
        }
        const int status = pclose(pipe);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
    }

    std::string m_path;
    FileOutput m_output;
    std::unique_ptr<unsigned char[]> m_workspace;
    ZipWriter m_writer;
};

std::string LargeText() {
    // 6 MB: compressible lines with a changing number, more than many copy buffers.
    std::ostringstream text;
    for (int i = 0; i < 200000; ++i) {
        text << "line " << i << " of the report " << (i * 2654435761u) << '\n';
    }
    return text.str();
}

TEST_F(ZipWriterTest, EmptyAndLargeFilesPassUnzipsTestAndComeBackByteForByte) {
    const std::string large = LargeText();
    ASSERT_GT(large.size(), 6u * 1000 * 1000);
    ASSERT_TRUE(Add("ERRORLOG.TXT", large));
    ASSERT_TRUE(Add("EMPTY.TXT", ""));
    ASSERT_TRUE(Add("logs/CRASH.DMP", std::string("MDMP\0\x01\xff", 7)));
    ASSERT_TRUE(Finish());
    EXPECT_LT(std::filesystem::file_size(m_path), large.size() / 4) << "not compressed";

    const auto [tested, testOutput] = Unzip("-t");
    EXPECT_EQ(tested, 0) << testOutput;
    const auto [listed, names] = Unzip("-Z1");
    EXPECT_EQ(names, "ERRORLOG.TXT\nEMPTY.TXT\nlogs/CRASH.DMP\n");
    EXPECT_EQ(Unzip("-p").second, large + std::string("MDMP\0\x01\xff", 7));
    // The entries carry the time given (two-second steps).
    EXPECT_NE(Unzip("-Z -T").second.find("20261207.143058"), std::string::npos);
}

TEST_F(ZipWriterTest, AnEntryThatCannotBeStoredSpoilsTheArchive) {
    EXPECT_FALSE(Add("", "x"));
    EXPECT_FALSE(Add("later.txt", "x"));
    EXPECT_FALSE(Finish());

    FixedOutput sink(true);
    ZipWriter tooLong(sink, m_workspace.get(), ZipWriter::kWorkspaceSize);
    TextInput input("x");
    EXPECT_FALSE(tooLong.Add(std::string(ZipWriter::kMaxName + 1, 'n').c_str(), input, {}));

    ZipWriter full(sink, m_workspace.get(), ZipWriter::kWorkspaceSize);
    for (int i = 0; i < ZipWriter::kMaxEntries; ++i) {
        TextInput one("x");
        ASSERT_TRUE(full.Add(("f" + std::to_string(i)).c_str(), one, {}));
    }
    TextInput more("x");
    EXPECT_FALSE(full.Add("one too many", more, {}));
}

TEST_F(ZipWriterTest, NoHeapAndNoOutputMeanFailureNotACrash) {
    // zlib's state does not fit a small workspace: the writer says so.
    unsigned char small[64 * 1024];
    ZipWriter cramped(m_output, small, sizeof small);
    TextInput input("text");
    EXPECT_FALSE(cramped.Add("a.txt", input, {}));

    FixedOutput nowhere(false);
    ZipWriter unwritable(nowhere, m_workspace.get(), ZipWriter::kWorkspaceSize);
    TextInput again("text");
    EXPECT_FALSE(unwritable.Add("a.txt", again, {}));
    EXPECT_FALSE(unwritable.Finish());
}

}  // namespace

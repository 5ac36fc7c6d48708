#include "platform/file_read.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/native_path.h"
#include "tests/unit/test_support.h"

namespace platform {
namespace {

using corvane::test::TempDir;
using corvane::test::WriteFile;

std::wstring Wide(const std::filesystem::path& path) {
    return FromNativePath(path.string());
}

// Bytes whose value depends on their position, so that an offset shows.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(1 + i % 251);
    return bytes;
}

// Holds a file descriptor and closes it on the way out.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

// The count read, or "refused: " and why.
std::string Outcome(const util::Expected<std::size_t>& read) {
    return read ? std::to_string(*read) : "refused: " + read.Error().reason;
}

TEST(ReadFileStart, MissingFileGivesNothing) {
    TempDir dir;
    std::array<char, 16> buffer{};
    EXPECT_EQ(Outcome(ReadFileStart(Wide(dir / "missing.txt"), buffer)),
              "refused: No such file or directory");
    EXPECT_EQ(Outcome(ReadFileStart(Wide(dir / "missing" / "install_config.txt"), buffer)),
              "refused: No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.txt")) << "the reader created the file";
}

TEST(ReadFileStart, FolderGivesNothing) {
    TempDir dir;
    std::array<char, 16> buffer{};
    EXPECT_EQ(Outcome(ReadFileStart(Wide(dir.Path()), buffer)), "refused: not a regular file");
}

TEST(ReadFileStart, FifoGivesNothingWithoutBlocking) {
    TempDir dir;
    const auto fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);

    std::array<char, 16> buffer{};
    auto result = std::async(std::launch::async, [&] { return ReadFileStart(Wide(fifo), buffer); });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Release a reader stuck in open or read so that the test ends.
        Fd writer(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        FAIL() << "ReadFileStart blocked on a FIFO without a writer";
    }
    EXPECT_EQ(Outcome(result.get()), "refused: not a regular file");
}

TEST(ReadFileStart, ReadsOnlyWhatFitsTheBuffer) {
    TempDir dir;
    const std::string content = Pattern(5000);
    WriteFile(dir / "big.txt", content);

    std::vector<char> buffer(4096, '\0');
    const auto count = ReadFileStart(Wide(dir / "big.txt"), buffer);
    ASSERT_TRUE(count) << count.Error().reason;
    EXPECT_EQ(*count, 4096u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), content.substr(0, 4096));
}

TEST(ReadFileStart, ShortFileLeavesTheRestOfTheBuffer) {
    TempDir dir;
    WriteFile(dir / "small.txt", "A=1\n");

    std::vector<char> buffer(4096, '\0');
    const auto count = ReadFileStart(Wide(dir / "small.txt"), buffer);
    ASSERT_TRUE(count) << count.Error().reason;
    EXPECT_EQ(*count, 4u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "A=1\n" + std::string(4092, '\0'));
}

TEST(ReadFileStart, EmptyFileGivesZero) {
    TempDir dir;
    WriteFile(dir / "empty.txt", "");
    std::array<char, 16> buffer{};
    EXPECT_EQ(Outcome(ReadFileStart(Wide(dir / "empty.txt"), buffer)), "0");
}

TEST(ReadFileStart, ReadsNamesThatAreNotValidUtf8) {
    TempDir dir;
    const std::string names[] = {"caf\xC3\xA9.txt", "bad\xFF.txt", "cut\xE2\x82"};
    for (const std::string& name : names) {
        WriteFile(dir.Path() / name, name);
        std::array<char, 64> buffer{};
        const auto count = ReadFileStart(Wide(dir.Path() / name), buffer);
        ASSERT_TRUE(count) << name;
        EXPECT_EQ(std::string(buffer.data(), *count), name);
    }
}

// Why this process cannot take a read lease on path, or nothing when it can. Without
// leases the reader cannot tell that someone is writing the file.
std::optional<std::string> NoReadLease(const std::filesystem::path& path) {
    Fd probe(open(path.c_str(), O_RDONLY));
    if (probe.Get() < 0 || fcntl(probe.Get(), F_SETLEASE, F_RDLCK) != 0)
        return std::string("read leases are not permitted here: ") + std::strerror(errno);
    fcntl(probe.Get(), F_SETLEASE, F_UNLCK);
    return std::nullopt;
}

TEST(ReadFileStart, RefusesAFileOpenForWriting) {
    TempDir dir;
    const auto path = dir / "install_config.txt";
    WriteFile(path, "A=1\n");
    if (const auto reason = NoReadLease(path)) GTEST_SKIP() << *reason;

    std::array<char, 16> buffer{};
    {
        Fd writer(open(path.c_str(), O_WRONLY));
        ASSERT_GE(writer.Get(), 0) << std::strerror(errno);
        EXPECT_EQ(Outcome(ReadFileStart(Wide(path), buffer)),
                  "refused: another process has it open for writing");
    }
    // Once the writer is gone the file reads again.
    EXPECT_EQ(Outcome(ReadFileStart(Wide(path), buffer)), "4");
}

TEST(ReadFileStart, WelcomesOtherReadersAndLeavesNoLease) {
    TempDir dir;
    const auto path = dir / "install_config.txt";
    WriteFile(path, "A=1\n");
    if (const auto reason = NoReadLease(path)) GTEST_SKIP() << *reason;

    std::array<char, 16> buffer{};
    {
        Fd reader(open(path.c_str(), O_RDONLY));
        ASSERT_GE(reader.Get(), 0) << std::strerror(errno);
        EXPECT_EQ(Outcome(ReadFileStart(Wide(path), buffer)), "4");
    }
    // A lease left behind would make this open wait for the lease to be broken.
    Fd writer(open(path.c_str(), O_WRONLY | O_NONBLOCK));
    EXPECT_GE(writer.Get(), 0) << std::strerror(errno);
}

// A writer that opens the file while the reader holds its probing lease breaks the
// lease, and the kernel tells the reader with SIGIO, whose default action ends the
// process. The reads run in a child process that a writer thread here keeps opening
// the file against.
TEST(ReadFileStart, WriterDuringTheLeaseProbeCannotEndTheProcess) {
    TempDir dir;
    const auto path = dir / "install_config.txt";
    WriteFile(path, "A=1\n");
    if (const auto reason = NoReadLease(path)) GTEST_SKIP() << *reason;

    std::atomic<bool> done{false};
    std::thread writer([&] {
        while (!done.load()) {
            const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) close(fd);
        }
    });
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto readRepeatedly = [&] {
        std::array<char, 16> buffer{};
        for (int i = 0; i < 20000; ++i) (void)ReadFileStart(Wide(path), buffer);
        std::exit(0);
    };
    EXPECT_EXIT(readRepeatedly(), testing::ExitedWithCode(0), "");
    done.store(true);
    writer.join();
}

}  // namespace
}  // namespace platform

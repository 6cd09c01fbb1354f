// The saved batch format: its exact bytes, the 64-bit time column, saves that fail or are
// cancelled, and the reader.
#include "app/core/BatchFile.h"
#include "app/core/RunFile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace App;
namespace fs = std::filesystem;

namespace
{

// A file size limit while it lives: writes fail part-way, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes) : m_Handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_Previous);
        struct rlimit small = m_Previous;
        small.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_Previous);
        std::signal(SIGXFSZ, m_Handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct rlimit m_Previous = {};
    void (*m_Handler)(int);
};

class BatchFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Folder = fs::absolute("BatchFileTest-" + std::to_string(::getpid()));
        fs::remove_all(m_Folder);
        fs::create_directories(m_Folder);
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    std::string PathOf(const char* name) const { return (m_Folder / name).string(); }
    static std::string Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::size_t Entries() const
    {
        return std::size_t(std::distance(fs::directory_iterator(m_Folder), {}));
    }

    fs::path m_Folder;
};

TEST_F(BatchFileTest, WritesHeaderAndOneLinePerReading)
{
    const std::string path = PathOf("SSIBatch.log");
    const std::vector<unsigned> readings = {7, 8, 9};
    ASSERT_EQ(BatchFile::Write(path, readings, 50, false), BatchFile::BATCH_FILE_OK);
    EXPECT_EQ(Contents(path), "Time [us]; Measurement [dec]\n0,7\n50,8\n100,9\n");
    ASSERT_EQ(BatchFile::Write(path, readings, 50, true), BatchFile::BATCH_FILE_OK);
    EXPECT_EQ(Contents(path).substr(0, 30), "Time [us]; Measurement [gray]\n");
}

TEST_F(BatchFileTest, TimeColumnGoesBeyond32Bits)
{
    const std::string path = PathOf("wide.log");
    const std::vector<unsigned> readings = {0, 4294967295u, 2};
    ASSERT_EQ(BatchFile::Write(path, readings, 4294967295u, false), BatchFile::BATCH_FILE_OK);
    EXPECT_EQ(Contents(path),
              "Time [us]; Measurement [dec]\n0,0\n4294967295,4294967295\n8589934590,2\n");
}

TEST_F(BatchFileTest, FailedOrCancelledSaveLeavesTheOldFile)
{
    const std::string path = PathOf("SSIBatch.log");
    std::ofstream(path) << "old record\n";
    const std::vector<unsigned> readings(200000, 123456789u);

    const BatchFile::Error failed = [&]
    {
        const FileSizeLimit full(100000);
        return BatchFile::Write(path, readings, 50, false);
    }();
    EXPECT_EQ(failed, BatchFile::BATCH_FILE_WRITE);

    const BatchFile::Error cancelled = BatchFile::Write(
        path, readings, 50, false, [](std::size_t done, std::size_t) { return done == 0; });
    EXPECT_EQ(cancelled, BatchFile::BATCH_FILE_CANCELLED);

    EXPECT_EQ(Contents(path), "old record\n");
    EXPECT_EQ(Entries(), 1u); // no temporary file left behind
}

// A full disk in the HDF5 library is a write error too, and leaves the old file.
TEST_F(BatchFileTest, FullDiskDuringAnHdf5SaveLeavesTheOldFile)
{
    const std::string path = PathOf("run.h5");
    std::ofstream(path) << "old record\n";
    const std::vector<unsigned> readings(200000, 123456789u);
    const BatchFile::Error failed = [&]
    {
        const FileSizeLimit full(100000);
        return WriteRunFile(path, readings, {}, false);
    }();
    EXPECT_EQ(failed, BatchFile::BATCH_FILE_WRITE);
    EXPECT_EQ(Contents(path), "old record\n");
    EXPECT_EQ(Entries(), 1u);
}

// fopen("w") would refuse such a file; the atomic rename would replace it. The save runs in
// a child as an unprivileged user (nobody when the test runs as root, for whom every file
// is writable), in a folder that user may write.
TEST_F(BatchFileTest, ExistingFileTheUserMayNotWriteIsRefusedAndKept)
{
    fs::permissions(m_Folder, fs::perms::all);
    for (const char* name : {"protected.log", "protected.csv", "protected.h5"})
    {
        const std::string path = PathOf(name);
        std::ofstream(path) << "old record\n";
        fs::permissions(path,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
        {
            if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(99);
            // Else the save would fail for the folder, not for the file.
            if (::access(m_Folder.c_str(), W_OK | X_OK) != 0)
                _exit(98);
            const std::vector<unsigned> readings = {1, 2, 3};
            _exit(WriteRunFile(path, readings, {}, false));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), BatchFile::BATCH_FILE_OPEN) << name;
        EXPECT_EQ(Contents(path), "old record\n") << name;
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms(0444)) << name;
    }
    EXPECT_EQ(Entries(), 3u);
}

TEST_F(BatchFileTest, SaveToAFolderIsRefusedBeforeWriting)
{
    const std::vector<unsigned> readings(1000, 7);
    for (const char* name : {"folder.log", "folder.h5"})
    {
        const std::string path = PathOf(name);
        fs::create_directory(path);
        std::size_t reports = 0;
        errno = 0;
        EXPECT_EQ(WriteRunFile(path, readings, {}, false,
                               [&](std::size_t, std::size_t)
                               {
                                   ++reports;
                                   return true;
                               }),
                  BatchFile::BATCH_FILE_OPEN)
            << name;
        EXPECT_EQ(errno, EISDIR) << name;
        EXPECT_EQ(reports, 0u) << name;
    }
    EXPECT_EQ(Entries(), 2u); // no temporary file
}

TEST_F(BatchFileTest, ReadsWhatItWrote)
{
    const std::string path = PathOf("round.log");
    const std::vector<unsigned> readings = {16, 4294967295u, 0, 17};
    ASSERT_EQ(BatchFile::Write(path, readings, 4095, true), BatchFile::BATCH_FILE_OK);
    BatchFile::Contents contents;
    std::string error;
    ASSERT_TRUE(BatchFile::Read(path, contents, error)) << error;
    EXPECT_EQ(contents.readings, readings);
    EXPECT_EQ(contents.delayUs, 4095u);
    EXPECT_TRUE(contents.gray);
}

TEST_F(BatchFileTest, MalformedLinesAreReportedWithTheirLine)
{
    const std::string header = "Time [us]; Measurement [dec]\n";
    const struct
    {
        std::string text;
        const char* where;
    } cases[] = {
        {"", "f:1:"},
        {"Time [us]; Measurement\n0,1\n", "f:1:"},
        {header + "0,1\n50,x\n", "f:3:"},
        {header + "0,1\n50,4294967296\n", "f:3:"},
        {header + "0,1\n50,2,\n", "f:3:"},
        {header + "0,1\n50,2\n101,3\n", "f:4:"}, // not 2 x 50
        {header + "0,1\n50,2", "f:3:"},          // no line feed at the end
        {header + "0,1\n\n", "f:3:"},
    };
    for (const auto& c : cases)
    {
        BatchFile::Contents contents;
        std::string error;
        EXPECT_FALSE(BatchFile::Parse(c.text, "f", contents, error)) << c.text;
        EXPECT_EQ(error.rfind(c.where, 0), 0u) << c.text << " gave " << error;
    }
}

} // namespace

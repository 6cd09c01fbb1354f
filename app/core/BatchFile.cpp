#include "app/core/BatchFile.h"

#include "app/core/Formats.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace App
{

namespace fs = std::filesystem;

namespace
{
constexpr const char* kHeaderDec = "Time [us]; Measurement [dec]";
constexpr const char* kHeaderGray = "Time [us]; Measurement [gray]";
constexpr const char* kCsvDec = "time_us,reading";
constexpr const char* kCsvGray = "time_us,reading_gray";
constexpr std::size_t kBlockBytes = std::size_t(1) << 20;
// Room for the longest line (20 digits of time, the comma, 10 digits of reading, the line
// feed) and the few bytes the digit writer may put beyond a number's end.
constexpr std::size_t kLongestLine = 40;

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Removes the temporary file unless it was renamed into place. The failure's errno stays for
// the caller's message.
struct TemporaryFile
{
    fs::path path;
    bool committed = false;
    ~TemporaryFile()
    {
        if (!committed && !path.empty())
        {
            const int failure = errno;
            std::error_code ignored;
            fs::remove(path, ignored);
            errno = failure;
        }
    }
};

// The file a save replaces: a symbolic link keeps pointing where it did.
fs::path Resolve(const std::string& path)
{
    fs::path target(path);
    std::error_code ec;
    if (fs::is_symlink(target, ec))
    {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec)
            target = resolved;
    }
    return target;
}

// The file's data on the disk, not only in the system's cache: a stick pulled after the
// rename must not hold a renamed empty file.
bool FlushToDisk(std::FILE* file)
{
    if (std::fflush(file) != 0)
        return false;
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return ::fsync(fileno(file)) == 0;
#endif
}

// Creates a new file beside `target` that no one else is using.
File CreateSibling(const fs::path& target, fs::path& created)
{
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt)
    {
        fs::path candidate = target;
        candidate += Format(".%08x.tmp", unsigned(random()));
        errno = 0;
        File file(std::fopen(candidate.string().c_str(), "wbx"));
        if (file)
        {
            created = candidate;
            return file;
        }
        if (errno != EEXIST)
            break;
    }
    return nullptr;
}

// Flushes the written temporary file to the disk and renames it over the target, which keeps
// the permissions of the file it replaces.
BatchFile::Error Commit(TemporaryFile& temporary, File file, const fs::path& target)
{
    if (!FlushToDisk(file.get()))
        return BatchFile::BATCH_FILE_WRITE;
    if (std::fclose(file.release()) != 0)
        return BatchFile::BATCH_FILE_WRITE;
    std::error_code ec;
    const fs::file_status existing = fs::status(target, ec);
    if (!ec && fs::exists(existing))
        fs::permissions(temporary.path, existing.permissions(), ec);
    fs::rename(temporary.path, target, ec);
    if (ec)
        return BatchFile::BATCH_FILE_WRITE;
    temporary.committed = true;
    return BatchFile::BATCH_FILE_OK;
}

// A save on its way: the temporary file beside the target, which Commit renames over it.
// The file closes before the temporary one is removed.
struct Staged
{
    fs::path target;
    TemporaryFile temporary;
    File file;
};

// Refuses what CheckTarget refuses before anything is written, then opens the temporary file.
BatchFile::Error Stage(const std::string& path, Staged& staged)
{
    if (const BatchFile::Error error = BatchFile::CheckTarget(path);
        error != BatchFile::BATCH_FILE_OK)
        return error;
    staged.target = Resolve(path);
    staged.file = CreateSibling(staged.target, staged.temporary.path);
    return staged.file ? BatchFile::BATCH_FILE_OK : BatchFile::BATCH_FILE_OPEN;
}

BatchFile::Error Commit(Staged& staged)
{
    return Commit(staged.temporary, std::move(staged.file), staged.target);
}

// "0000" to "9999": one division by 10,000 gives four digits.
constexpr std::array<char, 40000> kQuads = []
{
    std::array<char, 40000> quads{};
    for (unsigned n = 0; n < 10000; ++n)
    {
        quads[4 * n] = char('0' + n / 1000);
        quads[4 * n + 1] = char('0' + n / 100 % 10);
        quads[4 * n + 2] = char('0' + n / 10 % 10);
        quads[4 * n + 3] = char('0' + n % 10);
    }
    return quads;
}();

// n < 10,000 without leading zeros.
inline char* PutSmall(char* out, unsigned n)
{
    const std::size_t digits = n < 10 ? 1 : n < 100 ? 2 : n < 1000 ? 3 : 4;
    std::memcpy(out, &kQuads[4 * n + 4 - digits], 4);
    return out + digits;
}

// n < 100,000,000 as exactly eight digits.
inline char* PutEight(char* out, unsigned n)
{
    std::memcpy(out, &kQuads[4 * (n / 10000)], 4);
    std::memcpy(out + 4, &kQuads[4 * (n % 10000)], 4);
    return out + 8;
}

// n < 100,000,000 without leading zeros.
inline char* PutBelow1e8(char* out, unsigned n)
{
    if (n < 10000)
        return PutSmall(out, n);
    out = PutSmall(out, n / 10000);
    std::memcpy(out, &kQuads[4 * (n % 10000)], 4);
    return out + 4;
}

// Any value in decimal. Writes up to three bytes past the digits (never past kLongestLine).
inline char* PutDecimal(char* out, std::uint64_t value)
{
    constexpr std::uint64_t e8 = 100000000;
    if (value < e8)
        return PutBelow1e8(out, unsigned(value));
    if (value < e8 * e8)
        return PutEight(PutBelow1e8(out, unsigned(value / e8)), unsigned(value % e8));
    out = PutSmall(out, unsigned(value / (e8 * e8)));
    return PutEight(PutEight(out, unsigned(value / e8 % e8)), unsigned(value % e8));
}

// Reads the decimal digits of `text` from `pos` on; false when there is none or the value
// exceeds `max`.
bool TakeNumber(std::string_view text, std::size_t& pos, std::uint64_t max, std::uint64_t& value)
{
    const std::size_t start = pos;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
    {
        const unsigned digit = unsigned(text[pos] - '0');
        if (value > (max - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++pos;
    }
    return pos > start;
}
} // namespace

std::string BatchFile::Header(bool gray)
{
    return gray ? kHeaderGray : kHeaderDec;
}

std::string BatchFile::CsvColumns(bool gray)
{
    return gray ? kCsvGray : kCsvDec;
}

BatchFile::Error BatchFile::CheckTarget(const std::string& path)
{
    const std::string target = Resolve(path).string();
    struct stat info;
    if (::stat(target.c_str(), &info) != 0)
        return BATCH_FILE_OK; // a new file; whether the folder takes it shows when it is made
    if (S_ISDIR(info.st_mode))
    {
        errno = EISDIR;
        return BATCH_FILE_OPEN;
    }
#ifdef _WIN32
    const bool writable = ::_access(target.c_str(), 2) == 0;
#else
    const bool writable = ::access(target.c_str(), W_OK) == 0;
#endif
    return writable ? BATCH_FILE_OK : BATCH_FILE_OPEN;
}

BatchFile::Error BatchFile::Write(const std::string& path, std::span<const unsigned> readings,
                                  unsigned delayUs, bool gray, const Progress& progress,
                                  std::string_view preamble, std::string_view columns)
{
    Staged staged;
    if (const Error error = Stage(path, staged); error != BATCH_FILE_OK)
        return error;
    std::FILE* const file = staged.file.get();
    // The blocks below are the buffer; the C library's own would only copy them once more.
    std::setvbuf(file, nullptr, _IONBF, 0);
    if (!preamble.empty() &&
        std::fwrite(preamble.data(), 1, preamble.size(), file) != preamble.size())
        return BATCH_FILE_WRITE;

    const std::unique_ptr<char[]> block(new char[kBlockBytes]);
    char* const end = block.get() + kBlockBytes;
    char* out = block.get();
    const std::string header = columns.empty() ? Header(gray) : std::string(columns);
    std::memcpy(out, header.data(), header.size());
    out += header.size();
    *out++ = '\n';

    const std::size_t total = readings.size();
    std::size_t i = 0;
    while (true)
    {
        while (i < total && std::size_t(end - out) >= kLongestLine)
        {
            out = PutDecimal(out, std::uint64_t(i) * delayUs);
            *out++ = ',';
            out = PutDecimal(out, readings[i]);
            *out++ = '\n';
            ++i;
        }
        const std::size_t bytes = std::size_t(out - block.get());
        if (bytes > 0 && std::fwrite(block.get(), 1, bytes, file) != bytes)
            return BATCH_FILE_WRITE;
        out = block.get();
        if (progress && !progress(i, total))
            return BATCH_FILE_CANCELLED;
        if (i == total)
            break;
    }

    return Commit(staged);
}

BatchFile::Error BatchFile::WriteBytes(const std::string& path,
                                       std::span<const unsigned char> bytes)
{
    Staged staged;
    if (const Error error = Stage(path, staged); error != BATCH_FILE_OK)
        return error;
    if (!bytes.empty() &&
        std::fwrite(bytes.data(), 1, bytes.size(), staged.file.get()) != bytes.size())
        return BATCH_FILE_WRITE;
    return Commit(staged);
}

bool BatchFile::ReadText(const std::string& path, std::string& text, std::string& error)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
    {
        error = path + ": cannot open the file: " + std::strerror(errno);
        return false;
    }
    text.clear();
    char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        text.append(chunk, n);
    if (std::ferror(file.get()))
    {
        error = path + ": error while reading the file";
        return false;
    }
    return true;
}

bool BatchFile::Read(const std::string& path, Contents& contents, std::string& error)
{
    std::string text;
    return ReadText(path, text, error) && Parse(text, path, contents, error);
}

bool BatchFile::Parse(std::string_view text, const std::string& name, Contents& contents,
                      std::string& error, std::size_t linesBefore, bool csv)
{
    Contents parsed;
    std::size_t lineNumber = linesBefore;
    std::size_t pos = 0;
    const auto fail = [&](const std::string& what)
    {
        error = Format("%s:%zu: %s", name.c_str(), lineNumber, what.c_str());
        return false;
    };
    // The next line without its ending; false at the end of the text.
    std::string_view line;
    const auto nextLine = [&]() -> bool
    {
        if (pos >= text.size())
            return false;
        ++lineNumber;
        const std::size_t feed = text.find('\n', pos);
        if (feed == std::string_view::npos)
        {
            line = text.substr(pos);
            pos = text.size();
            return fail("the line does not end with a line feed");
        }
        line = text.substr(pos, feed - pos);
        pos = feed + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    };

    if (text.empty())
    {
        lineNumber = linesBefore + 1;
        return fail(linesBefore == 0 ? "the file is empty" : "the column line is missing");
    }
    if (!nextLine())
        return false;
    if (line == kHeaderDec || (csv && line == kCsvDec))
        parsed.gray = false;
    else if (line == kHeaderGray || (csv && line == kCsvGray))
        parsed.gray = true;
    else if (csv)
        return fail(Format("expected the column line \"%s\" or \"%s\"", kCsvDec, kCsvGray));
    else
        return fail(Format("expected the header \"%s\" or \"%s\"", kHeaderDec, kHeaderGray));

    std::uint64_t delay = 0;
    while (nextLine())
    {
        const std::uint64_t index = parsed.readings.size();
        std::size_t at = 0;
        std::uint64_t time = 0;
        std::uint64_t reading = 0;
        if (!TakeNumber(line, at, UINT64_MAX, time) || at >= line.size() || line[at] != ',')
            return fail("expected \"<time>,<reading>\" in decimal");
        ++at;
        if (!TakeNumber(line, at, 0xFFFFFFFFu, reading) || at != line.size())
            return fail("expected a reading of 0 to 4294967295 after the comma, and nothing more");
        if (index == 1)
        {
            if (time > 0xFFFFFFFFu)
                return fail("the delay (the second reading's time) does not fit 32 bits");
            delay = time;
        }
        if (index > 0 && delay > 0 && index > UINT64_MAX / delay)
            return fail("the time column overflows 64 bits");
        const std::uint64_t expected = index * delay;
        if (index != 1 && time != expected)
            return fail(Format("the time %llu is not the index %llu times the delay %llu",
                               static_cast<unsigned long long>(time),
                               static_cast<unsigned long long>(index),
                               static_cast<unsigned long long>(delay)));
        parsed.readings.push_back(unsigned(reading));
    }
    if (pos < text.size() || (!text.empty() && text.back() != '\n'))
        return false; // nextLine has said why
    parsed.delayUs = unsigned(delay);
    contents = std::move(parsed);
    return true;
}

} // namespace App

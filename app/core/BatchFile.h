#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace App
{

// The text file of a recorded batch, as "Save Buffer" writes it: a header line, then one line
// per reading with its time (index x delay in us) and its value, both in decimal:
//
//   Time [us]; Measurement [dec]        ("[gray]" when the readings are Gray coded)
//   0,7
//   50,8
//
// The time is computed and printed in 64 bits: a full batch at the longest delay reaches
// 6.9 * 10^10 us, far beyond 32 bits.
class BatchFile
{
public:
    enum Error
    {
        BATCH_FILE_OK,
        BATCH_FILE_OPEN,      // a folder, a file the user may not write, or no sibling
        BATCH_FILE_WRITE,     // writing, flushing or the final rename failed
        BATCH_FILE_CANCELLED, // the progress callback asked to stop
    };

    // Readings written so far and in all; answering false cancels the save.
    using Progress = std::function<bool(std::size_t done, std::size_t total)>;

    static std::string Header(bool gray);

    // BATCH_FILE_OPEN, with errno set, when `path` names a folder or an existing file that
    // the user may not write (where fopen(path, "w") would fail); else BATCH_FILE_OK. A
    // symbolic link is judged by the file it names. Every save checks this before it writes
    // anything: the atomic rename would replace a write-protected file.
    static Error CheckTarget(const std::string& path);

    // Checks the target (CheckTarget), writes the readings to a temporary file in its folder
    // and renames it over the target only when every byte has reached the disk, so a failed or
    // cancelled save leaves
    // an existing file as it was. A target that exists keeps its permissions; a symbolic link
    // keeps pointing where it did and the file it names is replaced. `progress` is called
    // after every block of about a megabyte and once at the end. `preamble` goes before the
    // header line (the comment lines of a CSV file).
    // `columns` replaces the header line (a CSV file's column names).
    static Error Write(const std::string& path, std::span<const unsigned> readings,
                       unsigned delayUs, bool gray, const Progress& progress = {},
                       std::string_view preamble = {}, std::string_view columns = {});

    // Any bytes (an HDF5 file's image) saved as Write saves: checked, written beside the
    // target, flushed to the disk, renamed over it.
    static Error WriteBytes(const std::string& path, std::span<const unsigned char> bytes);

    struct Contents
    {
        std::vector<unsigned> readings;
        unsigned delayUs = 0; // from the second line's time; 0 with fewer than two readings
        bool gray = false;
    };

    // Reads what Write wrote. Every line must be exactly as Write makes it (a line may end
    // in "\r\n", as a text file written on Windows does) and every time must be its index
    // times the delay. Anything else fails with "<name>:<line>: <what is wrong>" in `error`.
    static bool Read(const std::string& path, Contents& contents, std::string& error);
    // A whole file's bytes; a failure to open or read it says so, with the path, in `error`.
    static bool ReadText(const std::string& path, std::string& text, std::string& error);
    // The same on text in memory; `name` stands for the file in the message, whose line
    // numbers count `linesBefore` lines that came before `text`. With `csv` the CSV column
    // lines "time_us,reading" and "time_us,reading_gray" are taken for the header too.
    static bool Parse(std::string_view text, const std::string& name, Contents& contents,
                      std::string& error, std::size_t linesBefore = 0, bool csv = false);

    // A CSV file's column line.
    static std::string CsvColumns(bool gray);
};

} // namespace App

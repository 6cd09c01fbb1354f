#pragma once

#include "app/core/BatchFile.h"
#include "app/core/RunSettings.h"

#include <span>
#include <string>
#include <string_view>

namespace App
{

// A recorded batch as CSV: "# Key: value" comment lines with the run's settings, a column
// line that CSV readers take for the header ("time_us,reading_gray" when the readings are
// Gray coded), then the lines of a BatchFile:
//
//   # Serial: SIM00001
//   ...
//   # Program: tavik-cli 1.3.2
//   time_us,reading
//   0,7
//
// The reader also takes the text file's header "Time [us]; Measurement [dec]" for the column
// line, as files written by earlier versions have it.
class CsvFile
{
public:
    // The comment lines; control characters in the texts become blanks.
    static std::string Preamble(const RunSettings& settings);

    static BatchFile::Error Write(const std::string& path, std::span<const unsigned> readings,
                                  const RunSettings& settings, bool gray,
                                  const BatchFile::Progress& progress = {});

    struct Contents
    {
        BatchFile::Contents data;
        RunSettings settings; // the keys found; unknown keys are skipped
    };
    // Fails with "<name>:<line>: <what is wrong>" in `error`.
    static bool Read(const std::string& path, Contents& contents, std::string& error);
    static bool Parse(std::string_view text, const std::string& name, Contents& contents,
                      std::string& error);
};

} // namespace App

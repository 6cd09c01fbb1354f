#pragma once

#include "app/core/BatchFile.h"
#include "app/core/RunSettings.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace App
{

// The kinds of file a recorded batch is saved as, told apart by the extension (any case).
enum RunFileType
{
    RUN_FILE_TEXT, // .log .txt .dat: "Save Buffer"'s text
    RUN_FILE_CSV,  // .csv: the run's settings as comments, the column line, the same lines
    RUN_FILE_H5,   // .h5: HDF5, the readings as one dataset, the settings as attributes
    RUN_FILE_UNKNOWN,
};

RunFileType RunFileTypeOf(const std::string& path);

inline constexpr const char* kRunFileTypes = "a file ending in .log, .txt, .dat, .csv or .h5";

// Writes the readings in the type the path names; an unknown extension gets the text.
BatchFile::Error WriteRunFile(const std::string& path, std::span<const unsigned> readings,
                              const RunSettings& settings, bool gray,
                              const BatchFile::Progress& progress = {});

struct RunFileContents
{
    std::vector<unsigned> readings;
    bool gray = false;
    // The CSV header's or the HDF5 attributes' settings, when they name the mode; a text file
    // carries none.
    std::optional<RunSettings> settings;
    unsigned delayUs = 0; // the settings' delay, else the one the times give; 0 when unknown
};

// Reads a file of any of the types; fails with the file (and the line where there is one) in
// `error`.
bool ReadRunFile(const std::string& path, RunFileContents& contents, std::string& error);

} // namespace App

#pragma once

#include "app/core/BatchFile.h"
#include "app/core/RunSettings.h"

#include <span>
#include <string>

namespace App
{

// The kinds of file a recorded batch is saved as, told apart by the extension (any case).
enum RunFileType
{
    RUN_FILE_TEXT, // .log .txt .dat: "Save Buffer"'s text
    RUN_FILE_CSV,  // .csv: the same lines after a header of the run's settings
    RUN_FILE_H5,   // .h5: HDF5, the readings as one dataset, the settings as attributes
    RUN_FILE_UNKNOWN,
};

RunFileType RunFileTypeOf(const std::string& path);

// Writes the readings in the type the path names; an unknown extension gets the text.
BatchFile::Error WriteRunFile(const std::string& path, std::span<const unsigned> readings,
                              const RunSettings& settings, bool gray,
                              const BatchFile::Progress& progress = {});

} // namespace App

#include "app/core/RunFile.h"

#include "app/core/CsvFile.h"
#include "app/core/H5File.h"

#include <cctype>
#include <filesystem>

namespace App
{

RunFileType RunFileTypeOf(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext)
        c = char(std::tolower((unsigned char)c));
    if (ext == ".log" || ext == ".txt" || ext == ".dat")
        return RUN_FILE_TEXT;
    if (ext == ".csv")
        return RUN_FILE_CSV;
    if (ext == ".h5")
        return RUN_FILE_H5;
    return RUN_FILE_UNKNOWN;
}

BatchFile::Error WriteRunFile(const std::string& path, std::span<const unsigned> readings,
                              const RunSettings& settings, bool gray,
                              const BatchFile::Progress& progress)
{
    switch (RunFileTypeOf(path))
    {
    case RUN_FILE_CSV:
        return CsvFile::Write(path, readings, settings, gray, progress);
    case RUN_FILE_H5:
    {
        const BatchFile::Error error = H5File::Write(path, readings, settings, gray);
        if (progress)
            progress(readings.size(), readings.size());
        return error;
    }
    default:
        return BatchFile::Write(path, readings, settings.delayUs, gray, progress);
    }
}

} // namespace App

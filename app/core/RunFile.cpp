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
        if (progress && error == BatchFile::BATCH_FILE_OK)
            progress(readings.size(), readings.size());
        return error;
    }
    default:
        return BatchFile::Write(path, readings, settings.delayUs, gray, progress);
    }
}

bool ReadRunFile(const std::string& path, RunFileContents& contents, std::string& error)
{
    RunFileContents read;
    switch (RunFileTypeOf(path))
    {
    case RUN_FILE_TEXT:
    {
        BatchFile::Contents text;
        if (!BatchFile::Read(path, text, error))
            return false;
        read.readings = std::move(text.readings);
        read.gray = text.gray;
        read.delayUs = text.delayUs;
        break;
    }
    case RUN_FILE_CSV:
    {
        CsvFile::Contents csv;
        if (!CsvFile::Read(path, csv, error))
            return false;
        read.readings = std::move(csv.data.readings);
        read.gray = csv.data.gray;
        read.delayUs = csv.data.delayUs;
        if (!csv.settings.mode.empty())
            read.settings = std::move(csv.settings);
        break;
    }
    case RUN_FILE_H5:
    {
        H5File::Contents h5;
        if (!H5File::Read(path, h5, error))
            return false;
        read.readings = std::move(h5.readings);
        read.gray = h5.gray;
        if (!h5.settings.mode.empty())
            read.settings = std::move(h5.settings);
        break;
    }
    case RUN_FILE_UNKNOWN:
        error = path + ": expected " + kRunFileTypes;
        return false;
    }
    if (read.settings && read.settings->delayUs != 0)
        read.delayUs = read.settings->delayUs;
    contents = std::move(read);
    return true;
}

} // namespace App

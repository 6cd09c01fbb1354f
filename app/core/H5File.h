#pragma once

#include "app/core/BatchFile.h"
#include "app/core/RunSettings.h"

#include <span>
#include <string>
#include <vector>

namespace App
{

// A recorded batch as HDF5: the readings as the one-dimensional uint32 dataset "readings",
// the run's settings as its attributes (texts as variable-length UTF-8 strings, numbers as
// uint32, "sample_count" as uint64, "gray" as uint8), so that h5py (which gives the texts as
// str) and MATLAB read it directly. "unit" says what a reading counts, "start" when the run
// began (ISO 8601). The reader also takes the fixed-length strings of earlier versions.
class H5File
{
public:
    static constexpr const char* kDataset = "readings";
    // Raw encoder steps: the ST and MT bits as the box reports them.
    static constexpr const char* kUnit = "counts";

    // Built in memory, then saved as BatchFile saves: beside `path`, renamed over it only when
    // complete.
    static BatchFile::Error Write(const std::string& path, std::span<const unsigned> readings,
                                  const RunSettings& settings, bool gray);

    struct Contents
    {
        std::vector<unsigned> readings;
        RunSettings settings; // the attributes found
        bool gray = false;
    };
    // Fails with "<name>: <what is wrong>" in `error`.
    static bool Read(const std::string& path, Contents& contents, std::string& error);
};

} // namespace App

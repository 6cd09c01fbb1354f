// The readers of the saved batch files: the "Save Buffer" text and the CSV file with its
// comment lines, on any bytes. What a reader accepts, the writer writes back byte for byte.
#include "app/core/BatchFile.h"
#include "app/core/CsvFile.h"

#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace
{

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;

    App::BatchFile::Contents plain;
    const bool plainOk = App::BatchFile::Parse(text, "in.log", plain, error);
    FUZZ_CHECK(plainOk == error.empty());
    FUZZ_CHECK(error.size() < 4096);
    // Read back through the writer; small runs only, the file system is slow.
    if (plainOk && plain.readings.size() >= 2 && plain.readings.size() <= 256)
    {
        static const std::string path =
            "/tmp/fuzz_batchfile-" + std::to_string(::getpid()) + ".log";
        FUZZ_CHECK(App::BatchFile::Write(path, plain.readings, plain.delayUs, plain.gray) ==
                   App::BatchFile::BATCH_FILE_OK);
        App::BatchFile::Contents again;
        FUZZ_CHECK(App::BatchFile::Parse(Slurp(path), "again.log", again, error));
        FUZZ_CHECK(again.readings == plain.readings && again.delayUs == plain.delayUs &&
                   again.gray == plain.gray);
        ::unlink(path.c_str());
    }

    App::CsvFile::Contents csv;
    error.clear();
    const bool csvOk = App::CsvFile::Parse(text, "in.csv", csv, error);
    FUZZ_CHECK(csvOk == error.empty());
    FUZZ_CHECK(error.size() < 4096);
    return 0;
}

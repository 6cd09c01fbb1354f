// The INI reader on any bytes, what it read written out and read again, and the device
// defaults loaded from it.
#include "app/core/DefaultParameter.h"
#include "base/IniFile.h"
#include "base/Result.h"
#include "base/String.h"
#include "base/ValueString.h"

#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using App::DefaultParameter;
using zef::IniFile;
using zef::Result;
using zef::String;

namespace
{

// Feeds bytes to the reader as the content of a file.
class MemoryIniFile : public IniFile
{
public:
    Result ReadBytes(const std::string& bytes)
    {
        struct Closer
        {
            void operator()(std::FILE* f) const { std::fclose(f); }
        };
        // fmemopen refuses a zero-sized buffer.
        std::string buffer = bytes;
        std::unique_ptr<std::FILE, Closer> file(
            bytes.empty() ? std::tmpfile() : fmemopen(buffer.data(), buffer.size(), "r"));
        FUZZ_CHECK(file != nullptr);
        return ReadStream(file.get(), "fuzz.ini");
    }
};

using Content =
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;

// Everything the object answers, in its own order; checks that lookups agree with listings.
Content ReadBack(const IniFile& ini)
{
    Content content;
    std::vector<String> chapters, keys;
    ini.GetChapters(chapters);
    for (const String& chapter : chapters)
    {
        String name = chapter;
        FUZZ_CHECK(IniFile::CheckName(name).IsOk() && name == chapter);
        FUZZ_CHECK(ini.GetKeys(chapter, keys).IsOk());
        auto& entries = content
                            .emplace_back(chapter.GetStdString(),
                                          std::vector<std::pair<std::string, std::string>>{})
                            .second;
        for (const String& key : keys)
        {
            String keyName = key;
            FUZZ_CHECK(IniFile::CheckName(keyName).IsOk() && keyName == key);
            String value;
            Result lookup;
            FUZZ_CHECK(ini.GetString(chapter, key, value, lookup));
            FUZZ_CHECK(value.Find('\n') == -1);
            int number = 0;
            if (ini.GetInt32(chapter, key, number))
                FUZZ_CHECK(std::to_string(number) == value.GetStdString());
            entries.emplace_back(key.GetStdString(), value.GetStdString());
        }
    }
    return content;
}

bool InRange(const DefaultParameter& d)
{
    return d.powerMode <= Tavik::Box::PWR_INTERNAL && d.outputMode[0] <= Tavik::Box::OUT_HIGH_UB &&
           d.outputMode[1] <= Tavik::Box::OUT_HIGH_UB &&
           d.outputMode[2] <= Tavik::Box::OUT_HIGH_UB &&
           d.ssiMode <= Tavik::SampleParameter::SSI_Gray && d.stBits <= 32 && d.mtBits <= 32 &&
           d.valueEncoding <= 1 &&
           Tavik::SampleParameter::GetNextFrequence(d.ssiClock - 1) == d.ssiClock;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    MemoryIniFile ini;
    const Result read = ini.ReadBytes(bytes);
    FUZZ_CHECK(ini.IsOpen());
    // Messages stay bounded: at most the failing line's names quoted once.
    FUZZ_CHECK(read.GetAsText().GetLength() <= size + 1000);
    const Content content = ReadBack(ini);

    // Round trip: what was read, written in plain form, reads back the same and cleanly. A
    // continuation of an empty value (or by an empty part) leaves a blank at an end of the
    // value, which a plain key line cannot hold: compare trimmed values.
    std::string written;
    Content expected = content;
    for (auto& [chapter, entries] : expected)
    {
        written += "[" + chapter + "]\n";
        for (auto& [key, value] : entries)
        {
            String trimmed(value);
            trimmed.Trim();
            value = trimmed.GetStdString();
            written += key + "=" + value + "\n";
        }
    }
    MemoryIniFile again;
    const Result reread = again.ReadBytes(written);
    FUZZ_CHECK(reread.IsOk());
    FUZZ_CHECK(ReadBack(again) == expected);

    // The device defaults: for the built-in serial and for every per-box chapter.
    std::vector<String> serials{String("SIM00001")};
    for (const auto& entry : content)
        if (entry.first.rfind("Default/", 0) == 0)
            serials.emplace_back(entry.first.substr(8).c_str());
    for (const String& serial : serials)
    {
        DefaultParameter record;
        Result result;
        const bool loaded = LoadDefaults(result, ini, record, serial);
        FUZZ_CHECK(loaded == !result.IsError());
        FUZZ_CHECK(InRange(record));
        if (!loaded)
        {
            const std::string text = result.GetText().GetStdString();
            FUZZ_CHECK(text.rfind("Chapter [Default", 0) == 0);
            FUZZ_CHECK(text.size() <= 200 + serial.GetLength());
        }
    }
    return 0;
}

#include "app/core/CsvFile.h"

#include "app/core/Formats.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

namespace App
{

namespace
{
std::string Clean(const std::string& text)
{
    std::string clean = text;
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return clean;
}

struct Key
{
    const char* name;
    std::string RunSettings::*text = nullptr;
    unsigned RunSettings::*number = nullptr;
    bool hex = false;
};

const Key kKeys[] = {
    {"Serial", &RunSettings::serial},
    {"Description", &RunSettings::description},
    {"Mode", &RunSettings::mode},
    {"Clock [Hz]", nullptr, &RunSettings::clockHz},
    {"ST bits", nullptr, &RunSettings::stBits},
    {"MT bits", nullptr, &RunSettings::mtBits},
    {"Data mask", nullptr, &RunSettings::dataMask, true},
    {"Gray mask", nullptr, &RunSettings::grayMask, true},
    {"SPI word", nullptr, &RunSettings::spiWord, true},
    {"Delay [us]", nullptr, &RunSettings::delayUs},
    {"Sample count"},
    {"Start", &RunSettings::start},
    {"Program", &RunSettings::program},
};

bool ParseNumber(std::string_view text, bool hex, unsigned long long max, unsigned long long& value)
{
    if (hex)
    {
        if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
            return false;
        text.remove_prefix(2);
    }
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, hex ? 16 : 10);
    return ec == std::errc() && end == text.data() + text.size() && value <= max;
}
} // namespace

std::string CsvFile::Preamble(const RunSettings& s)
{
    std::string text;
    for (const Key& key : kKeys)
    {
        text.append("# ").append(key.name).append(": ");
        if (key.text)
            text.append(Clean(s.*key.text));
        else if (key.number && key.hex)
            text.append("0x").append(FormatHex8(s.*key.number));
        else if (key.number)
            text.append(std::to_string(s.*key.number));
        else
            text.append(std::to_string(s.sampleCount));
        text.push_back('\n');
    }
    return text;
}

BatchFile::Error CsvFile::Write(const std::string& path, std::span<const unsigned> readings,
                                const RunSettings& settings, bool gray,
                                const BatchFile::Progress& progress)
{
    return BatchFile::Write(path, readings, settings.delayUs, gray, progress, Preamble(settings),
                            BatchFile::CsvColumns(gray));
}

bool CsvFile::Read(const std::string& path, Contents& contents, std::string& error)
{
    std::string text;
    return BatchFile::ReadText(path, text, error) && Parse(text, path, contents, error);
}

bool CsvFile::Parse(std::string_view text, const std::string& name, Contents& contents,
                    std::string& error)
{
    Contents parsed;
    std::size_t pos = 0;
    std::size_t lines = 0;
    while (pos < text.size() && text[pos] == '#')
    {
        ++lines;
        const std::size_t feed = text.find('\n', pos);
        if (feed == std::string_view::npos)
        {
            error = Format("%s:%zu: the line does not end with a line feed", name.c_str(), lines);
            return false;
        }
        std::string_view line = text.substr(pos, feed - pos);
        pos = feed + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line.remove_prefix(1);
        if (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        const std::size_t colon = line.find(": ");
        if (colon == std::string_view::npos)
            continue; // a plain comment
        const std::string_view keyName = line.substr(0, colon);
        const std::string_view value = line.substr(colon + 2);
        for (const Key& key : kKeys)
        {
            if (keyName != key.name)
                continue;
            unsigned long long number = 0;
            if (key.text)
                parsed.settings.*key.text = std::string(value);
            else if (!ParseNumber(value, key.hex, key.number ? 0xFFFFFFFFull : ~0ull, number))
            {
                error =
                    Format("%s:%zu: \"%s\" is not a %s number", name.c_str(), lines,
                           std::string(value).c_str(), key.hex ? "hexadecimal (0x...)" : "decimal");
                return false;
            }
            else if (key.number)
                parsed.settings.*key.number = unsigned(number);
            else
                parsed.settings.sampleCount = std::size_t(number);
        }
    }
    // Files written before the column line had its CSV names carry the text file's header.
    if (!BatchFile::Parse(text.substr(pos), name, parsed.data, error, lines, true))
        return false;
    contents = std::move(parsed);
    return true;
}

} // namespace App

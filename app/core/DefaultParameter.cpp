#include "app/core/DefaultParameter.h"

#include "base/IniFile.h"
#include "base/Result.h"
#include "base/String.h"
#include "base/XAssertion.h"

namespace App
{

namespace
{
constexpr const char* SOURCE = "DefaultParameter";

bool Fail(zef::Result& result, const zef::String& chapter, const char* key, const char* tail,
          int line)
{
    zef::String text;
    text << "Chapter [" << chapter << "] Value '" << key << tail;
    zef::Result error(1, text, zef::Result::CAT_GENERAL);
    error.SetSource(SOURCE, line);
    result.InsertFront(error);
    return false;
}

bool IsSelectableFrequency(int value)
{
    unsigned previous = 0;
    unsigned hz = Tavik::SampleParameter::GetNextFrequence(0);
    while (true)
    {
        if (int(hz) == value)
            return true;
        previous = hz;
        hz = Tavik::SampleParameter::GetNextFrequence(hz);
        if (hz <= previous)
            return false;
    }
}
} // namespace

bool DefaultParameter::operator==(const DefaultParameter& o) const
{
    return powerMode == o.powerMode && outputMode[0] == o.outputMode[0] &&
           outputMode[1] == o.outputMode[1] && outputMode[2] == o.outputMode[2] &&
           ssiMode == o.ssiMode && ssiClock == o.ssiClock && dataFilter == o.dataFilter &&
           grayCodeFilter == o.grayCodeFilter && stBits == o.stBits && mtBits == o.mtBits &&
           valueEncoding == o.valueEncoding;
}

bool LoadDefaults(zef::Result& result, const zef::IniFile& ini, DefaultParameter& record,
                  const zef::String& serial)
{
    if (!ini.IsOpen())
    {
        zef::Result error(1, "INI file not accessible.", zef::Result::CAT_GENERAL);
        error.SetSource(SOURCE, __LINE__);
        result.InsertFront(error);
        return false;
    }
    if (!LoadChapter(ini, result, record, "Default"))
        return false;
    return LoadChapter(ini, result, record, zef::String("Default/") + serial);
}

bool LoadChapter(const zef::IniFile& ini, zef::Result& result, DefaultParameter& record,
                 const zef::String& chapter)
{
    if (!ini.IsOpen())
        zef::XAssertionFailed("iniFile.IsOpen()", "INI file not open.", SOURCE, __LINE__);

    // Missing keys are not errors here: their access errors go to a scratch result.
    zef::Result ignored;
    int value = 0;
    const auto read = [&](const char* key) { return ini.GetInt32(chapter, key, value, ignored); };

    if (read("PowerMode"))
    {
        static const Tavik::Box::POWER_MODE modes[] = {
            Tavik::Box::PWR_EXTERNAL, Tavik::Box::PWR_INTERNAL, Tavik::Box::PWR_INTERNAL_DCDC,
            Tavik::Box::PWR_OFF};
        if (value < 0 || value > 3)
            return Fail(result, chapter, "PowerMode",
                        "' is out of range. Allowed values are [0,1,2,3].", __LINE__);
        record.powerMode = modes[value];
    }
    for (int output = 1; output <= 3; ++output)
    {
        zef::String key("OutputMode");
        key << output;
        if (!read(key.c_str()))
            continue;
        if (value < 0 || value > 2)
            return Fail(result, chapter, key.c_str(),
                        "' is out of range. Allowed values are [0,1,2].", __LINE__);
        record.outputMode[output - 1] = static_cast<Tavik::Box::OUTPUT_MODE>(value);
    }
    if (read("SsiMode"))
    {
        if (value < 0 || value > 1)
            return Fail(result, chapter, "SsiMode", "' is out of range. Allowed values are [0,1].",
                        __LINE__);
        record.ssiMode = static_cast<Tavik::SampleParameter::SERIAL_MODE>(value);
    }
    if (read("BinaryDataFilter"))
    {
        record.dataFilter = static_cast<unsigned>(value);
        record.dataFilterLoaded = true;
    }
    if (read("GrayCodeFilter"))
    {
        record.grayCodeFilter = static_cast<unsigned>(value);
        record.grayCodeFilterLoaded = true;
    }
    if (read("StBits"))
    {
        if (value < 0 || value > 32)
            return Fail(result, chapter, "StBits",
                        "' is out of range. Allowed values are [0,...,32].", __LINE__);
        record.stBits = static_cast<unsigned>(value);
    }
    if (read("MtBits"))
    {
        if (value < 0 || value > 32)
            return Fail(result, chapter, "MtBits",
                        "' is out of range. Allowed values are [0,...,32].", __LINE__);
        record.mtBits = static_cast<unsigned>(value);
    }
    if (read("ValueEncoding"))
    {
        if (value < 0 || value > 1)
            return Fail(result, chapter, "ValueEncoding",
                        "' is out of range. Allowed values are [0,1].", __LINE__);
        record.valueEncoding = static_cast<unsigned>(value);
    }
    if (read("SsiClock"))
    {
        if (value < 0)
            return Fail(result, chapter, "SsiClock", "' is out of range. Value must be > 0.",
                        __LINE__);
        if (!IsSelectableFrequency(value))
            return Fail(result, chapter, "SsiClock", "' is out of range.", __LINE__);
        record.ssiClock = static_cast<unsigned>(value);
    }
    return true;
}

} // namespace App

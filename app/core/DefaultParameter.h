#pragma once

#include "driver/Box.h"
#include "driver/SampleParameter.h"

namespace zef
{
class IniFile;
class Result;
class String;
} // namespace zef

namespace App
{

// Settings applied to a box whose supply is off when it is connected: built-in values,
// overridden by chapter "Default" of the INI file, overridden by chapter "Default/<serial>".
struct DefaultParameter
{
    Tavik::Box::POWER_MODE powerMode = Tavik::Box::PWR_INTERNAL;
    Tavik::Box::OUTPUT_MODE outputMode[3] = {Tavik::Box::OUT_OPEN, Tavik::Box::OUT_OPEN,
                                             Tavik::Box::OUT_OPEN};
    Tavik::SampleParameter::SERIAL_MODE ssiMode = Tavik::SampleParameter::SSI_Binary;
    unsigned ssiClock = 1000000; // Hz
    unsigned dataFilter = 0;
    unsigned grayCodeFilter = 0;
    unsigned stBits = 13;
    unsigned mtBits = 12;
    unsigned valueEncoding = 0; // 0 decimal, 1 hexadecimal

    // Whether the INI file gave the two masks; the masks are applied only then. Not part
    // of the comparison.
    bool dataFilterLoaded = false;
    bool grayCodeFilterLoaded = false;

    bool operator==(const DefaultParameter& other) const;
    bool operator!=(const DefaultParameter& other) const { return !(*this == other); }
};

// Loads chapter "Default", then chapter "Default/<serial>", into `record`. False with an
// error put in front of `result` when the file is not open or a value is out of range (the
// per-box chapter is then not read).
bool LoadDefaults(zef::Result& result, const zef::IniFile& ini, DefaultParameter& record,
                  const zef::String& serial);

// Reads the keys of one chapter into `record`. A missing or non-integer key leaves its field
// unchanged; a value out of range stops the chapter with an error in front of `result` and
// false (fields read before it keep their new values).
bool LoadChapter(const zef::IniFile& ini, zef::Result& result, DefaultParameter& record,
                 const zef::String& chapter);

} // namespace App

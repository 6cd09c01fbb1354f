#include "app/core/TestRecord.h"

#include "app/core/BatchFile.h"
#include "app/core/Formats.h"
#include "app/core/H5File.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace App
{

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace
{
json Optional(const std::optional<double>& v)
{
    return v ? json(*v) : json();
}

json LimitsJson(const Limits& limits)
{
    json j = {{"comparison", ComparisonName(limits.comparison)}};
    if (limits.low)
        j["low"] = *limits.low;
    if (limits.high)
        j["high"] = *limits.high;
    if (limits.marginalLow)
        j["marginal_low"] = *limits.marginalLow;
    if (limits.marginalHigh)
        j["marginal_high"] = *limits.marginalHigh;
    return j;
}

json StepJson(const StepResult& step)
{
    json measurements = json::array();
    for (const MeasurementResult& m : step.measurements)
        measurements.push_back({{"name", m.name},
                                {"value", Optional(m.value)},
                                {"unit", m.unit},
                                {"limits", LimitsJson(m.limits)},
                                {"outcome", TestOutcomeName(m.outcome)}});
    json j = {{"name", step.name},
              {"kind", StepKindName(step.kind)},
              {"outcome", TestOutcomeName(step.outcome)},
              {"attempts", step.attempts}};
    if (!step.error.empty())
        j["error"] = step.error;
    j["measurements"] = measurements;
    if (step.kind == STEP_SWEEP)
    {
        json sweep = json::array();
        for (const ClockSweep::Point& p : step.sweep)
            if (p.done)
                sweep.push_back(
                    {{"clock_hz", p.hz}, {"error_rate", p.Rate()}, {"readings", p.readings}});
        j["sweep"] = sweep;
    }
    return j;
}

// Closes a descriptor on every path.
struct Descriptor
{
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The renames reach the disk only with their folder.
void SyncFolder(const fs::path& folder)
{
    const Descriptor dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0)
        ::fsync(dir.fd);
}
} // namespace

std::vector<std::string> FailedLines(const TestRecord& record)
{
    std::vector<std::string> lines;
    for (const StepResult& step : record.steps)
    {
        if (step.outcome == OUTCOME_ERROR)
            lines.push_back(step.name + ": error: " + step.error.substr(0, step.error.find('\n')));
        for (const MeasurementResult& m : step.measurements)
            if (m.outcome == OUTCOME_FAIL)
                lines.push_back(step.name + ": " + m.name + " = " +
                                (m.value ? Format("%g %s", *m.value, m.unit.c_str())
                                         : std::string("no value")) +
                                ", limit " + m.limits.Text());
    }
    return lines;
}

std::string NewUuid()
{
    std::random_device device;
    std::mt19937_64 random((std::uint64_t(device()) << 32) ^ device());
    unsigned char bytes[16];
    for (unsigned char& b : bytes)
        b = static_cast<unsigned char>(random());
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    std::string text;
    for (int i = 0; i < 16; ++i)
    {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += Format("%02x", bytes[i]);
    }
    return text;
}

std::string IsoUtcMillis(std::chrono::system_clock::time_point t)
{
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    const std::time_t seconds = std::time_t(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &utc);
    return Format("%s.%03dZ", date, int((ms % 1000 + 1000) % 1000));
}

std::string TestRecordJson(const TestRecord& r, const std::string& attachment)
{
    const PlanBox& box = r.settings.box;
    const bool gray = box.mode == Tavik::SampleParameter::SSI_Gray ||
                      box.mode == Tavik::SampleParameter::SPI_Gray;
    json steps = json::array();
    for (const StepResult& step : r.steps)
        steps.push_back(StepJson(step));
    const json doc = {
        {"schema", kTestRecordSchema},
        {"uuid", r.uuid},
        {"unit", {{"serial", r.unit.serial}, {"part_number", r.unit.partNumber}}},
        {"station", r.unit.station},
        {"operator", r.unit.operatorName},
        {"start", r.start},
        {"end", r.end},
        {"plan",
         {{"name", r.planName},
          {"version", r.planVersion},
          {"sha256", r.planSha256},
          {"file", r.planFile}}},
        {"box",
         {{"serial", r.boxSerial},
          {"description", r.boxDescription},
          {"settings",
           {{"mode", PlanModeName(box.mode)},
            {"code", gray ? "gray" : "binary"},
            {"clock_hz", box.clockHz},
            {"st_bits", box.stBits},
            {"mt_bits", box.mtBits},
            {"data_mask", box.dataMask},
            {"gray_mask", box.grayMask},
            {"spi_word", box.spiWord},
            {"supply", SupplyName(r.settings.supply)}}}}},
        {"steps", steps},
        {"root_cause", r.rootCause ? json(*r.rootCause) : json()},
        {"outcome", TestOutcomeName(r.outcome)},
        {"program", {{"name", "Tavik"}, {"version", r.programVersion}}},
        {"attachment", attachment.empty() ? json() : json(attachment)},
    };
    // Invalid UTF-8 in a serial or a name becomes U+FFFD rather than failing the save.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string StationFromMachineId(const std::string& text)
{
    const std::string line = text.substr(0, text.find('\n'));
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

SpoolWrite WriteTestRecord(const TestRecord& record, const std::string& spoolDir)
{
    SpoolWrite result;
    const fs::path folder(spoolDir);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
    {
        result.error = spoolDir + ": cannot create the spool folder: " + ec.message();
        return result;
    }
    const auto failed = [&](const fs::path& path, BatchFile::Error error)
    {
        result.error = path.string() +
                       (error == BatchFile::BATCH_FILE_OPEN ? ": cannot open the file for writing: "
                                                            : ": error while writing the file: ") +
                       std::strerror(errno);
        return result;
    };
    std::string attachment;
    if (!record.readings.empty())
    {
        attachment = record.uuid + ".h5";
        const fs::path h5 = folder / attachment;
        if (const auto error =
                H5File::Write(h5.string(), record.readings, record.readingsSettings, false);
            error != BatchFile::BATCH_FILE_OK)
            return failed(h5, error);
        result.h5Path = h5.string();
    }
    // Last: its presence says the record is complete.
    const fs::path path = folder / (record.uuid + ".json");
    const std::string text = TestRecordJson(record, attachment);
    if (const auto error = BatchFile::WriteBytes(
            path.string(), {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
        error != BatchFile::BATCH_FILE_OK)
        return failed(path, error);
    SyncFolder(folder);
    result.jsonPath = path.string();
    return result;
}

} // namespace App

#include "app/core/StoreRecord.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <fstream>
#include <sstream>

namespace App
{

namespace
{
using json = nlohmann::json;

// A string member; `required` ones must be there and non-empty.
bool Text(const json& parent, const char* key, const std::string& where, bool required,
          std::string& out, std::string& error)
{
    const auto it = parent.find(key);
    if (it == parent.end() || it->is_null())
    {
        if (required)
            error = "missing " + where + key;
        return !required;
    }
    if (!it->is_string())
    {
        error = where + key + " is not a string";
        return false;
    }
    out = it->get<std::string>();
    if (required && out.empty())
    {
        error = where + key + " is empty";
        return false;
    }
    return true;
}

bool Number(const json& parent, const char* key, const std::string& where,
            std::optional<double>& out, std::string& error)
{
    const auto it = parent.find(key);
    if (it == parent.end() || it->is_null())
        return true;
    if (!it->is_number())
    {
        error = where + key + " is not a number";
        return false;
    }
    out = it->get<double>();
    return true;
}

bool Measurements(const json& steps, StoreRecord& record, std::string& error)
{
    if (!steps.is_array())
    {
        error = "steps is not a list";
        return false;
    }
    for (std::size_t s = 0; s < steps.size(); ++s)
    {
        const json& step = steps[s];
        const std::string where = "steps[" + std::to_string(s) + "].";
        if (!step.is_object())
        {
            error = where.substr(0, where.size() - 1) + " is not an object";
            return false;
        }
        std::string stepName;
        if (!Text(step, "name", where, true, stepName, error))
            return false;
        const auto list = step.find("measurements");
        if (list == step.end())
            continue;
        if (!list->is_array())
        {
            error = where + "measurements is not a list";
            return false;
        }
        for (std::size_t m = 0; m < list->size(); ++m)
        {
            const json& item = (*list)[m];
            const std::string at = where + "measurements[" + std::to_string(m) + "].";
            StoreMeasurement out;
            out.step = s;
            out.stepName = stepName;
            if (!item.is_object() || !Text(item, "name", at, true, out.name, error) ||
                !Number(item, "value", at, out.value, error) ||
                !Text(item, "unit", at, false, out.unit, error) ||
                !Text(item, "outcome", at, true, out.outcome, error))
            {
                if (error.empty())
                    error = at.substr(0, at.size() - 1) + " is not an object";
                return false;
            }
            if (!IsOutcome(out.outcome))
            {
                error = at + "outcome \"" + out.outcome + "\" is not an outcome";
                return false;
            }
            if (const auto limits = item.find("limits");
                limits != item.end() && limits->is_object())
            {
                const std::string in = at + "limits.";
                if (!Text(*limits, "comparison", in, false, out.comparison, error) ||
                    !Number(*limits, "low", in, out.low, error) ||
                    !Number(*limits, "high", in, out.high, error) ||
                    !Number(*limits, "marginal_low", in, out.marginalLow, error) ||
                    !Number(*limits, "marginal_high", in, out.marginalHigh, error))
                    return false;
            }
            record.measurements.push_back(std::move(out));
        }
    }
    return true;
}
} // namespace

bool IsUuid(const std::string& text)
{
    if (text.size() != 36)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

bool IsOutcome(const std::string& text)
{
    return text == "PASS" || text == "MARGINAL" || text == "FAIL" || text == "ERROR" ||
           text == "ABORTED";
}

bool ParseStoreRecord(const std::string& text, StoreRecord& record, std::string& error)
{
    record = {};
    error.clear();
    const json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
    {
        error = "not a JSON object";
        return false;
    }
    std::string schema;
    if (!Text(doc, "schema", "", true, schema, error))
        return false;
    if (schema != kRecordSchemaName)
    {
        error = "schema \"" + schema + "\" is not " + kRecordSchemaName;
        return false;
    }
    const json none = json::object();
    const auto object = [&](const char* key) -> const json&
    {
        const auto it = doc.find(key);
        return it != doc.end() && it->is_object() ? *it : none;
    };
    if (!Text(doc, "uuid", "", true, record.uuid, error) ||
        !Text(object("unit"), "serial", "unit.", true, record.serial, error) ||
        !Text(object("unit"), "part_number", "unit.", false, record.partNumber, error) ||
        !Text(doc, "station", "", true, record.station, error) ||
        !Text(doc, "operator", "", false, record.operatorName, error) ||
        !Text(doc, "start", "", true, record.start, error) ||
        !Text(doc, "end", "", false, record.end, error) ||
        !Text(object("plan"), "name", "plan.", false, record.planName, error) ||
        !Text(object("plan"), "version", "plan.", false, record.planVersion, error) ||
        !Text(object("plan"), "sha256", "plan.", false, record.planSha256, error) ||
        !Text(object("box"), "serial", "box.", false, record.boxSerial, error) ||
        !Text(doc, "outcome", "", true, record.outcome, error) ||
        !Text(doc, "root_cause", "", false, record.rootCause, error) ||
        !Text(object("program"), "version", "program.", false, record.programVersion, error) ||
        !Text(doc, "attachment", "", false, record.attachment, error))
        return false;
    if (!IsUuid(record.uuid))
    {
        error = "uuid \"" + record.uuid + "\" is not a UUID";
        return false;
    }
    if (!IsOutcome(record.outcome))
    {
        error = "outcome \"" + record.outcome + "\" is not an outcome";
        return false;
    }
    // Days and the order of a unit's runs come from the text: it must be the UTC form.
    if (record.start.size() < 20 || record.start[4] != '-' || record.start[10] != 'T' ||
        record.start.back() != 'Z')
    {
        error = "start \"" + record.start + "\" is not an ISO 8601 UTC time";
        return false;
    }
    if (const auto steps = doc.find("steps"); steps != doc.end())
        if (!Measurements(*steps, record, error))
            return false;
    record.document = text;
    return true;
}

bool ReadStoreRecord(const std::string& path, StoreRecord& record, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!ParseStoreRecord(text.str(), record, error))
    {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace App

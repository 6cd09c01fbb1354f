#include "app/cli/Stores.h"
#include "app/cli/Subcommand.h"

#include "app/core/Formats.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <ostream>

namespace App::Cli
{

namespace
{
struct RecordsOptions : StoreOptions
{
    RecordFilter filter;
    bool sync = false;
};

class Records : public SubcommandWith<RecordsOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    int Prepare() override;
    int Execute() override;

private:
    RecordFilter m_Filter;
};

// "2026-12-09" or the start of an ISO 8601 UTC time ("2026-12-09T21:30"): compared as text
// with the records' starts, which share the form.
bool IsDate(const std::string& text)
{
    static const std::string kForm = "dddd-dd-ddTdd:dd:dd";
    if (text.size() != 10 && (text.size() < 13 || text[10] != 'T'))
        return false;
    for (std::size_t i = 0; i < text.size() && i < kForm.size(); ++i)
        if (kForm[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                            : text[i] != kForm[i])
            return false;
    return true;
}

int Records::Prepare()
{
    m_Filter = m_Options.filter;
    std::transform(m_Filter.outcome.begin(), m_Filter.outcome.end(), m_Filter.outcome.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    if (!m_Filter.outcome.empty() && !IsOutcome(m_Filter.outcome))
        return Usage("--outcome " + m_Options.filter.outcome +
                     ": one of PASS, MARGINAL, FAIL, ERROR, ABORTED");
    if (!m_Filter.since.empty() && !IsDate(m_Filter.since))
        return Usage("--since " + m_Filter.since + ": a date as 2026-12-09 (UTC)");
    return EXIT_OK;
}

int Records::Execute()
{
    std::unique_ptr<RecordStore> store;
    if (const int code = OpenStore(m_Options, m_Env, m_Ini, store); code != EXIT_OK)
        return code;
    // The spool's records go in first, so that the answer includes this station's latest.
    const SpoolForward sent = ForwardSpool(m_Options, m_Env, *store);
    if (m_Options.sync && !m_Global.json)
        m_Env.out << Format("Sent %zu, already stored %zu, refused %zu, waiting %zu\n", sent.stored,
                            sent.already, sent.refused, sent.waiting);
    std::vector<RecordRow> rows;
    std::string error;
    if (!store->Find(m_Filter, rows, error))
    {
        m_Env.err << "Error: " << error << '\n';
        return EXIT_BOX;
    }
    if (m_Global.json)
    {
        json list = json::array();
        for (const RecordRow& r : rows)
            list.push_back({{"uuid", r.uuid},
                            {"serial", r.serial},
                            {"station", r.station},
                            {"operator", r.operatorName},
                            {"start", r.start},
                            {"plan", r.planName},
                            {"planVersion", r.planVersion},
                            {"outcome", r.outcome},
                            {"rootCause", r.rootCause.empty() ? json() : json(r.rootCause)}});
        PrintJson({{"store", store->Id()},
                   {"schemaVersion", store->SchemaVersion()},
                   {"sync",
                    {{"stored", sent.stored},
                     {"already", sent.already},
                     {"refused", sent.refused},
                     {"waiting", sent.waiting}}},
                   {"records", list}});
    }
    else
    {
        std::ostream& out = m_Env.out;
        if (!rows.empty())
            out << Format("%-24s %-16s %-16s %-20s %-8s %s\n", "Start", "Serial", "Station", "Plan",
                          "Outcome", "Record");
        for (const RecordRow& r : rows)
        {
            out << Format("%-24s %-16s %-16s %-20s %-8s %s\n", r.start.c_str(), r.serial.c_str(),
                          r.station.c_str(), (r.planName + " " + r.planVersion).c_str(),
                          r.outcome.c_str(), r.uuid.c_str());
            if (!r.rootCause.empty())
                out << "    " << r.rootCause << '\n';
        }
        out << rows.size() << (rows.size() == 1 ? " record\n" : " records\n");
    }
    // With --sync, records left waiting are a failure a script sees.
    return m_Options.sync && !sent.unreachable.empty() ? EXIT_BOX : EXIT_OK;
}

} // namespace

Factory DeclareRecords(CLI::App& sub)
{
    auto o = std::make_shared<RecordsOptions>();
    AddStoreOptions(sub, *o);
    sub.add_option("--dut", o->filter.serial, "the unit's serial number");
    sub.add_option("--station", o->filter.station, "the station's name");
    sub.add_option("--since", o->filter.since, "records started on or after a date (UTC)");
    sub.add_option("--outcome", o->filter.outcome, "PASS, MARGINAL, FAIL, ERROR or ABORTED");
    sub.add_flag("--sync", o->sync, "say what the spool sent; records left waiting exit with 1");
    return Make<Records>(o);
}

} // namespace App::Cli

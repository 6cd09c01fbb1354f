#include "app/cli/Stores.h"
#include "app/cli/Subcommand.h"

#include "app/core/Formats.h"

#include <CLI/CLI.hpp>

#include <map>
#include <ostream>

namespace App::Cli
{

namespace
{
struct YieldOptions : StoreOptions
{
    YieldBy by = YieldBy::STATION;
};

class Yield : public SubcommandWith<YieldOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    int Execute() override;
};

int Yield::Execute()
{
    std::unique_ptr<RecordStore> store;
    if (const int code = OpenStore(m_Options, m_Env, m_Ini, store); code != EXIT_OK)
        return code;
    ForwardSpool(m_Options, m_Env, *store);
    std::vector<YieldRow> rows;
    std::string error;
    if (!store->Yield(m_Options.by, rows, error))
    {
        m_Env.err << "Error: " << error << '\n';
        return EXIT_BOX;
    }
    const char* keyName = m_Options.by == YieldBy::STATION ? "station"
                          : m_Options.by == YieldBy::DAY   ? "day"
                                                           : "plan";
    if (m_Global.json)
    {
        json list = json::array();
        for (const YieldRow& r : rows)
            list.push_back({{keyName, r.key},
                            {"records", r.records},
                            {"units", r.units},
                            {"passed", r.passed},
                            {"firstPass", r.firstPass},
                            {"firstPassYield", r.FirstPassYield()}});
        PrintJson({{"store", store->Id()}, {"by", keyName}, {"groups", list}});
        return EXIT_OK;
    }
    m_Env.out << Format("%-24s %8s %8s %8s %10s %9s\n", keyName, "Records", "Units", "Passed",
                        "1st pass", "FPY");
    for (const YieldRow& r : rows)
        m_Env.out << Format("%-24s %8s %8s %8s %10s %8.1f%%\n", r.key.c_str(),
                            FormatCount(r.records).c_str(), FormatCount(r.units).c_str(),
                            FormatCount(r.passed).c_str(), FormatCount(r.firstPass).c_str(),
                            100.0 * r.FirstPassYield());
    return EXIT_OK;
}

} // namespace

Factory DeclareYield(CLI::App& sub)
{
    auto o = std::make_shared<YieldOptions>();
    AddStoreOptions(sub, *o);
    const std::map<std::string, YieldBy> by = {
        {"station", YieldBy::STATION}, {"day", YieldBy::DAY}, {"plan", YieldBy::PLAN}};
    sub.add_option("--by", o->by, "station, day (UTC) or plan")
        ->transform(CLI::CheckedTransformer(by, CLI::ignore_case));
    return Make<Yield>(o);
}

} // namespace App::Cli

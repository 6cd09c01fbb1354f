#include "app/cli/Stores.h"
#include "app/cli/Subcommand.h"

#include "app/core/Report.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>

namespace App::Cli
{

namespace
{
struct ReportOptions : StoreOptions
{
    std::string record;
    std::string output;
};

class Report : public SubcommandWith<ReportOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    int Execute() override;
};

int Report::Execute()
{
    namespace fs = std::filesystem;
    std::string error;
    std::error_code ignored;
    if (!IsUuid(m_Options.record))
    {
        // A record's file.
        if (!fs::is_regular_file(m_Options.record, ignored))
            return Usage(m_Options.record + ": neither a record's file nor a record's UUID");
        error = WriteReport(m_Options.record, m_Options.output);
    }
    else if (const std::string folder = SpoolFolder(m_Options, m_Env);
             !folder.empty() && fs::is_regular_file(RecordSpool(folder).JsonPath(m_Options.record)))
        error = WriteReport(RecordSpool(folder).JsonPath(m_Options.record), m_Options.output);
    else
    {
        // Another station's record: the store keeps its document, not its readings.
        std::unique_ptr<RecordStore> store;
        if (const int code = OpenStore(m_Options, m_Env, m_Ini, store); code != EXIT_OK)
            return code;
        std::string document;
        if (!store->Document(m_Options.record, document, error))
        {
            m_Env.err << "Error: " << error << '\n';
            return EXIT_BOX;
        }
        if (document.empty())
        {
            m_Env.err << "Error: no record " << m_Options.record << " in the spool or in "
                      << store->Id() << '\n';
            return EXIT_USAGE;
        }
        error = WriteReportFromDocument(document, {}, m_Options.output);
    }
    if (!error.empty())
    {
        m_Env.err << "Error: " << error << '\n';
        return EXIT_USAGE;
    }
    if (m_Global.json)
        PrintJson({{"record", m_Options.record}, {"report", m_Options.output}});
    else if (!m_Global.quiet)
        m_Env.out << "Report written to " << m_Options.output << '\n';
    return EXIT_OK;
}

} // namespace

Factory DeclareReport(CLI::App& sub)
{
    auto o = std::make_shared<ReportOptions>();
    sub.add_option("RECORD", o->record, "a record's UUID (spool, else store) or its .json file")
        ->required();
    sub.add_option("-o,--output", o->output, "the HTML file to write")->required();
    AddStoreOptions(sub, *o);
    return Make<Report>(o);
}

} // namespace App::Cli

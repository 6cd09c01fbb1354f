#include "app/cli/Runs.h"
#include "app/cli/Subcommand.h"

#include "app/TavikVersion.h"
#include "app/core/BatchFile.h"
#include "app/core/BatchRun.h"
#include "app/core/RunFile.h"
#include "app/core/Verdict.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>
#include <unistd.h>

namespace App::Cli
{

namespace
{
struct BatchOptions : CheckOptions
{
    std::optional<unsigned> count;
    unsigned delay = 50;
    std::string file;
};

class Batch : public SubcommandWith<BatchOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    // The output file is checked before the run, not after it.
    int Prepare() override;
    int Run() override;

private:
    bool Save(BatchRun& run);
};

int Batch::Prepare()
{
    if (RunFileTypeOf(m_Options.file) == RUN_FILE_UNKNOWN)
        return Usage("-o " + m_Options.file + ": expected " + kRunFileTypes);
    std::filesystem::path folder = std::filesystem::path(m_Options.file).parent_path();
    if (folder.empty())
        folder = ".";
    if (::access(folder.c_str(), W_OK) != 0)
        return Usage("-o " + m_Options.file + ": cannot write into the folder " + folder.string());
    // Before the run, not after it: a folder or a write-protected file cannot take it.
    if (BatchFile::CheckTarget(m_Options.file) != BatchFile::BATCH_FILE_OK)
        return Usage("-o " + m_Options.file +
                     ": cannot open the file for writing: " + std::strerror(errno));
    return EXIT_OK;
}

bool Batch::Save(BatchRun& run)
{
    if (!run.HasReadings())
        return true;
    // The run writes its own line on success.
    const BatchFile::Error error = run.Save(m_Options.file);
    if (error == BatchFile::BATCH_FILE_OK)
        return true;
    const int failure = errno;
    m_Env.err << "Error: " << m_Options.file
              << (error == BatchFile::BATCH_FILE_OPEN ? ": cannot open the file for writing: "
                                                      : ": error while writing the file: ")
              << std::strerror(failure) << '\n';
    return false;
}

int Batch::Run()
{
    const BoxView& view = m_Session.View();
    // The window opens its batch dialog with binary readings.
    BatchRun run(m_Box, m_Sink, view.stBits, view.mtBits, false);
    run.Open();
    if (run.GetState() == BatchRun::BATCH_BOX_ERROR)
        return EXIT_BOX;
    run.SetText(BatchRun::EDIT_SAMPLE_COUNT, std::to_string(*m_Options.count));
    run.SetText(BatchRun::EDIT_SAMPLE_DELAY, std::to_string(m_Options.delay));
    run.SetText(BatchRun::EDIT_ST_STEP, std::to_string(m_Options.stStep));
    run.SetText(BatchRun::EDIT_MT_STEP, std::to_string(m_Options.mtStep));
    run.SetText(BatchRun::EDIT_ERROR_LIMIT, std::to_string(m_Options.limit));
    run.SetMonotony(BatchRun::PART_ST, kMonotonies.at(m_Options.stMono));
    run.SetMonotony(BatchRun::PART_MT, kMonotonies.at(m_Options.mtMono));
    if (!run.ValidateEdits())
        return Usage("--count takes 1 to 16777214 readings, --delay 10 to 4095 us, the steps 1 "
                     "to 99");

    run.SetSettings(m_Session.DescribeRun(std::string("tavik-cli ") + TAVIK_VERSION));

    const std::size_t errorsBefore = m_Sink.ErrorCount();
    ProgressBar bar(m_Env.err, m_Env.errIsTerminal);
    m_Sink.SetBeforeWrite([&bar] { bar.Erase(); });
    bool interrupted = false;
    run.Start();
    while (run.GetState() == BatchRun::BATCH_SAMPLING)
    {
        bar.Show(run.GetView().progressPos, *m_Options.count);
        Sleep(kPollMs);
        if (Interrupted())
        {
            // Stopped on the box; what arrived is kept and written.
            run.Stop();
            interrupted = true;
            break;
        }
        run.Poll();
    }
    bar.Show(run.GetView().progressPos, *m_Options.count);
    bar.Done();
    m_Sink.SetBeforeWrite({});
    const bool boxFailed = m_Sink.ErrorCount() != errorsBefore;
    const bool saved = Save(run);
    const bool checked = !interrupted && !boxFailed && run.GetBuffer().size() == *m_Options.count;
    const Verdict verdict = JudgeCheck(run.GetBuffer().size(), run.GetResult(), &run.GetAnalysis());
    if (m_Global.json)
    {
        json doc = {{"file", m_Options.file},
                    {"readings", run.GetBuffer().size()},
                    {"interrupted", interrupted}};
        if (checked)
            doc["result"] = ResultJson(run.GetResult(), verdict);
        PrintJson(doc);
    }
    else if (checked)
        PrintResult(m_Env.out, run.GetResult(), verdict);
    if (interrupted)
        return EXIT_INTERRUPT;
    if (boxFailed)
        return EXIT_BOX;
    if (!saved)
        return EXIT_USAGE;
    return checked && verdict.kind == Verdict::PASSED ? EXIT_OK : EXIT_FOUND;
}

} // namespace

Factory DeclareBatch(CLI::App& sub)
{
    auto o = std::make_shared<BatchOptions>();
    sub.add_option("--count", o->count, "readings, 1 to 16777214")->required();
    sub.add_option("--delay", o->delay, "microseconds between readings, 10 to 4095 (default 50)");
    sub.add_option("-o,--output", o->file, "the file; its extension gives its type")->required();
    AddCheckOptions(sub, *o);
    return Make<Batch>(o);
}

} // namespace App::Cli

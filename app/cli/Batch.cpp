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
    std::string file;
};

class Batch : public SubcommandWith<BatchOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    // The values and the output file are checked before the run, not after it.
    int Prepare() override;
    int Execute() override;

private:
    bool Save(BatchRun& run);

    BatchSettings m_Settings;
};

int Batch::Prepare()
{
    if (const int code = TakeBatchSettings(
            m_Options, m_Env.err,
            {BATCH_COUNT, BATCH_DELAY, BATCH_MT_STEP, BATCH_ST_STEP, BATCH_ERROR_LIMIT},
            m_Settings);
        code != EXIT_OK)
        return code;
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

int Batch::Execute()
{
    const BatchSettings& settings = m_Settings;
    const BoxView& view = m_Session.View();
    // The window opens its batch dialog with binary readings.
    BatchRun run(m_Box, m_Sink, view.stBits, view.mtBits, false);
    run.Open();
    if (run.GetState() == BatchRun::BATCH_BOX_ERROR)
        return EXIT_BOX;
    run.WarnAboutDelay(settings.delayUs);
    run.SetSettings(m_Session.DescribeRun(std::string("tavik-cli ") + TAVIK_VERSION));

    const std::size_t errorsBefore = m_Sink.ErrorCount();
    ProgressBar bar(m_Env.err, m_Env.errIsTerminal);
    m_Sink.SetBeforeWrite([&bar] { bar.Erase(); });
    run.Start(settings);
    const auto sampling = [&run] { return run.GetState() == BatchRun::BATCH_SAMPLING; };
    const bool interrupted =
        PollUntilDone({sampling, sampling, [&run] { run.Poll(); }, [&run] { run.Stop(); },
                       [&] { bar.Show(run.GetView().progressPos, settings.count); }});
    bar.Show(run.GetView().progressPos, settings.count);
    bar.Done();
    m_Sink.SetBeforeWrite({});
    const bool boxFailed = m_Sink.ErrorCount() != errorsBefore;
    const bool saved = Save(run);
    const bool checked = !interrupted && !boxFailed && run.GetBuffer().size() == settings.count;
    const Verdict verdict = run.GetView().verdict;
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
    AddBatchOption(sub, o->batch, BATCH_COUNT, true);
    AddBatchOption(sub, o->batch, BATCH_DELAY);
    sub.add_option("-o,--output", o->file, "the file; its extension gives its type")->required();
    AddCheckOptions(sub, *o);
    return Make<Batch>(o);
}

} // namespace App::Cli

#include "app/core/BatchRun.h"

#include "app/core/Formats.h"
#include "app/core/HistorySink.h"
#include "app/core/RunFile.h"
#include "driver/Box.h"
#include "driver/SampleParameter.h"
#include "driver/XAssertion.h"

#include <algorithm>

namespace App
{

namespace
{
// Assertions of the batch recording carry the dialog's name, as its reports always did.
constexpr const char* SOURCE = "BatchSampleDlg";

constexpr std::array<BatchValueRange, kBatchValues> kRanges = {{
    {"delay", "microseconds between readings", 10, 4095, 50, 4,
     "The sample delay takes 10 to 4,095 us."},
    {"count", "readings", 1, 16777214, 10000, 8,
     "The sample count takes 1 to 16,777,214 readings."},
    {"mt-step", "largest MT step", 1, 99, 1, 2, "The MT step size takes 1 to 99."},
    {"st-step", "largest ST step", 1, 99, 1, 2, "The ST step size takes 1 to 99."},
    {"limit", "stop after this many errors", 0, 0xFFFFFFFFu, 1, 3,
     "The error limit takes a whole number."},
}};

constexpr unsigned kDummyFirst = 16;
constexpr unsigned kDummyLast = 65535;
} // namespace

const BatchValueRange& BatchRange(BatchValue value)
{
    return kRanges[value];
}

std::string CheckBatchValue(BatchValue value, unsigned number)
{
    const BatchValueRange& range = kRanges[value];
    return number < range.min || number > range.max ? range.error : std::string();
}

unsigned BatchValueOf(const BatchSettings& settings, BatchValue value)
{
    switch (value)
    {
    case BATCH_DELAY:
        return settings.delayUs;
    case BATCH_COUNT:
        return settings.count;
    case BATCH_MT_STEP:
        return settings.check.mtStep;
    case BATCH_ST_STEP:
        return settings.check.stStep;
    case BATCH_ERROR_LIMIT:
        return settings.check.errorLimit;
    }
    return 0;
}

void SetBatchValue(BatchSettings& settings, BatchValue value, unsigned number)
{
    switch (value)
    {
    case BATCH_DELAY:
        settings.delayUs = number;
        break;
    case BATCH_COUNT:
        settings.count = number;
        break;
    case BATCH_MT_STEP:
        settings.check.mtStep = number;
        break;
    case BATCH_ST_STEP:
        settings.check.stStep = number;
        break;
    case BATCH_ERROR_LIMIT:
        settings.check.errorLimit = number;
        break;
    }
}

BatchRun::BatchRun(Tavik::Box& box, HistorySink& sink, unsigned stBits, unsigned mtBits, bool gray,
                   const FTD2xx::Clock& clock)
    : m_Box(box), m_Sink(sink), m_StBits(stBits), m_MtBits(mtBits), m_Gray(gray),
      m_Recording(box, clock)
{
}

void BatchRun::BoxError(const std::string& what, const Recording::Failure& failure)
{
    m_BoxVanished = m_BoxVanished || failure.vanished;
    m_Sink.Error(what + failure.statusText);
}

void BatchRun::Open()
{
    m_CheckSettings = {};
    ClearResults();
    m_State = BATCH_READY;
    Tavik::SampleParameter p;
    const int status = m_Box.GetSampleParameter(p);
    if (status != Tavik::Box::OK)
    {
        BoxError("Error while reading sample parameter.\n",
                 Recording::Failure::Of(m_Box, Recording::READ_PARAMETERS, status));
        m_State = BATCH_BOX_ERROR;
        return;
    }
    m_Frequency = p.GetFrequence();
}

void BatchRun::ClearResults()
{
    m_HasResult = false;
}

void BatchRun::WarnAboutDelay(unsigned delayUs)
{
    if (m_Frequency == 0)
        return;
    const float minimum = float(m_StBits + m_MtBits + 1) * 1000000.0f / float(m_Frequency) + 20.0f;
    if (float(delayUs) <= minimum)
        m_Sink.Line(Format("Warning while checking sample delay parameter:\n%.0f us "
                           "is the minimum Sample Delay to observe the specification "
                           "at SSI Clock Frequence of %i Hz.",
                           double(minimum), int(m_Frequency)));
}

bool BatchRun::Start(const BatchSettings& settings)
{
    if (m_State != BATCH_READY)
        return false;
    ClearResults();
    for (std::size_t v = 0; v < kBatchValues; ++v)
        if (!CheckBatchValue(BatchValue(v), BatchValueOf(settings, BatchValue(v))).empty())
            return false;
    m_CheckSettings = settings.check;

    // The batch's buffer goes first, so two full buffers never live at once.
    std::vector<unsigned>().swap(m_Buffer);
    const Recording::State state = m_Recording.Start({settings.count, settings.delayUs});
    const std::string detail = Format("Set sample count to %u.", settings.count);
    if (state == Recording::FAILED)
    {
        const Recording::Failure& failure = *m_Recording.LastFailure();
        if (failure.step == Recording::READ_PARAMETERS)
            return BoxError("Error while reading sample parameter.\n", failure), false;
        if (failure.step == Recording::WRITE_PARAMETERS)
            return BoxError("Error while setting sample parameter. " + detail + "\n", failure),
                   false;
    }
    m_Sink.Line("Setting sample parameter. " + detail);

    m_Count = m_Recording.GetCount();
    m_Delay = m_Recording.GetParameters().GetDelay();
    m_Settings.sampleCount = m_Count;
    m_Settings.delayUs = m_Delay;
    m_Settings.clockHz = m_Frequency;
    m_Settings.stBits = m_StBits;
    m_Settings.mtBits = m_MtBits;
    m_Settings.start = IsoTimeNow();
    m_Saved = false;

    switch (state)
    {
    case Recording::COMPLETE:
        TakeRecording();
        if (m_Buffer.size() != m_Count)
            Tavik::XAssertionFailed("m_Measurement.buffer.size() == para.GetSampleCount()",
                                    "Array size not expected.", SOURCE, __LINE__);
        Check();
        break;
    case Recording::STREAMING:
        m_State = BATCH_SAMPLING;
        break;
    default:
        // Started, but the box failed: nothing was kept, and the run was ended on the box.
        TakeRecording();
        BoxError("Error while reading sampled measurements from box.\n",
                 *m_Recording.LastFailure());
        break;
    }
    return true;
}

void BatchRun::TakeRecording()
{
    m_Buffer = m_Recording.TakeReadings();
}

std::span<const unsigned> BatchRun::GetBuffer() const
{
    return m_State == BATCH_SAMPLING ? m_Recording.Readings() : std::span<const unsigned>(m_Buffer);
}

Run BatchRun::GetRun() const
{
    RunSettings settings = m_Settings;
    settings.stBits = m_StBits;
    settings.mtBits = m_MtBits;
    settings.delayUs = m_Delay; // also for the test aid's readings
    settings.clockHz = m_Frequency;
    return Run::Borrowing(GetBuffer(), settings, m_Gray);
}

void BatchRun::Poll()
{
    if (m_State != BATCH_SAMPLING)
        return;
    // Progress shows beside the bar; the history keeps the run's start and end only.
    const Recording::State state = m_Recording.Poll();
    if (state == Recording::STREAMING)
        return;
    m_State = BATCH_READY;
    TakeRecording();
    if (state == Recording::FAILED)
    {
        BoxError("Error while reading sampled measurements from box.\n",
                 *m_Recording.LastFailure());
        return;
    }
    m_Sink.Line(Format("All %d measurements read.", int(m_Buffer.size())));
    Check();
}

void BatchRun::Check()
{
    if (m_State != BATCH_READY)
        return;
    m_State = BATCH_CHECKING;
    m_Check = GetRun().Check(m_CheckSettings);
    m_HasResult = true;
    for (const std::string& line : m_Check.HistoryLines())
        m_Sink.Line(line);
    m_State = BATCH_READY;
}

AnalysisConfig BatchRun::GetAnalysisConfig() const
{
    return GetRun().GetAnalysisConfig();
}

void BatchRun::Stop()
{
    if (m_State != BATCH_SAMPLING)
        return;
    m_State = BATCH_READY;
    m_Recording.Stop();
    if (m_Recording.LastFailure() && m_Recording.LastFailure()->step == Recording::TERMINATE)
        BoxError("Error while terminating sample processing.", *m_Recording.LastFailure());
    TakeRecording();
    m_Sink.Line(Format("Sampling stopped: %s of %s readings kept.",
                       FormatCount(m_Buffer.size()).c_str(), FormatCount(m_Count).c_str()));
}

void BatchRun::LoadDummyData()
{
    if (m_State != BATCH_READY)
        return;
    m_Count = kDummyLast - kDummyFirst + 1;
    std::vector<unsigned>().swap(m_Buffer);
    m_Buffer.reserve(m_Count);
    m_Saved = false;
    for (unsigned value = kDummyFirst; value <= kDummyLast; ++value)
        m_Buffer.push_back(value);
}

BatchFile::Error BatchRun::Save(const std::string& path, const BatchFile::Progress& progress)
{
    if (m_Buffer.empty())
        return BatchFile::BATCH_FILE_OK;
    RunSettings settings = m_Settings;
    settings.delayUs = m_Delay; // also for the test aid's readings
    const BatchFile::Error error = WriteRunFile(path, m_Buffer, settings, m_Gray, progress);
    if (error == BatchFile::BATCH_FILE_OK)
    {
        m_Saved = true;
        m_SavedPath = path;
        m_Sink.Line(
            Format("Saved %s readings to %s.", FormatCount(m_Buffer.size()).c_str(), path.c_str()));
    }
    return error;
}

std::string BatchRun::Summary() const
{
    if (m_Buffer.empty())
        return "Batch Sample closed: no readings.";
    std::string text = Format("Batch Sample closed: %s readings, %u us apart, ",
                              FormatCount(m_Buffer.size()).c_str(), m_Delay);
    if (m_HasResult)
        text += "check " + m_Check.verdict.Text(m_Check.result.GetErrorCount());
    else
        text += "not checked";
    return text + (m_Saved ? ", saved to " + m_SavedPath + "." : ", not saved.");
}

BatchRun::View BatchRun::GetView() const
{
    View view;
    view.state = m_State;
    view.progressMax = m_Count;
    view.progressPos = GetBuffer().size();
    if (m_State == BATCH_SAMPLING)
    {
        const Recording::View recording = m_Recording.GetView();
        view.ratePerSecond = recording.ratePerSecond;
        view.secondsLeft = recording.secondsLeft;
        view.secondsSinceReading = recording.secondsSinceReading;
        view.stalled = recording.stalled;
    }
    if (m_HasResult)
    {
        const CodeTester::Result& r = m_Check.result;
        view.checked = true;
        view.verdict = m_Check.verdict;
        const bool grey = view.verdict.kind == Verdict::NOT_CHECKED;
        const auto field = [grey](unsigned errors) {
            return Field{true, errors == 0, grey, std::to_string(errors)};
        };
        const auto turns = [grey](bool ok, unsigned count) {
            return Field{true, ok, grey, std::to_string(count)};
        };
        view.results[RESULT_MT_MONOTONY] = field(r.m_MtMonotonyErrors);
        view.results[RESULT_ST_MONOTONY] = field(r.m_StMonotonyErrors);
        view.results[RESULT_MT_STEP] = field(r.m_MtStepErrors);
        view.results[RESULT_ST_STEP] = field(r.m_StStepErrors);
        view.results[RESULT_MT_TURNS] =
            turns(r.m_MtMonotonyErrors == 0 && r.m_MtStepErrors == 0, r.m_MtTurns);
        view.results[RESULT_ST_TURNS] =
            turns(r.m_StMonotonyErrors == 0 && r.m_StStepErrors == 0, r.m_StTurns);
    }
    return view;
}

} // namespace App

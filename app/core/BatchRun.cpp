#include "app/core/BatchRun.h"

#include "app/core/Formats.h"
#include "app/core/HistorySink.h"
#include "app/core/RunFile.h"
#include "app/core/Unplugged.h"
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

constexpr std::array<BatchRun::EditSpec, BatchRun::kEdits> kSpecs = {{
    {"50", 4, 10, 4095},
    {"10000", 8, 1, 16777214},
    {"1", 2, 1, 99},
    {"1", 2, 1, 99},
    {"1", 3, 0, 0xFFFFFFFFu},
}};

// The edits held against their range; the error limit takes any number.
constexpr std::size_t kRangedEdits = 4;

constexpr unsigned kDummyFirst = 16;
constexpr unsigned kDummyLast = 65535;
} // namespace

const BatchRun::EditSpec& BatchRun::Spec(Edit edit)
{
    return kSpecs[edit];
}

unsigned BatchRun::ParseNumber(const std::string& text)
{
    unsigned long long value = 0;
    for (const char c : text)
    {
        if (c < '0' || c > '9')
            break;
        value = std::min<unsigned long long>(value * 10 + unsigned(c - '0'), 0xFFFFFFFFull);
    }
    return unsigned(value);
}

BatchRun::BatchRun(Tavik::Box& box, HistorySink& sink, unsigned stBits, unsigned mtBits, bool gray,
                   const FTD2xx::Clock& clock)
    : m_Box(box), m_Sink(sink), m_StBits(stBits), m_MtBits(mtBits), m_Gray(gray), m_Clock(clock)
{
    for (std::size_t i = 0; i < kEdits; ++i)
        m_Edits[i].text = kSpecs[i].start;
}

std::string BatchRun::Status(int status) const
{
    return m_Box.GetStatusAsString(status);
}

void BatchRun::BoxError(const std::string& what, int status)
{
    const std::string text = Status(status);
    m_BoxVanished = m_BoxVanished || MeansUnplugged(status, text);
    m_Sink.Error(what + text);
}

double BatchRun::SecondsSince(FTD2xx::Clock::TimePoint t) const
{
    return std::chrono::duration<double>(m_Clock.Now() - t).count();
}

void BatchRun::Open()
{
    for (std::size_t i = 0; i < kEdits; ++i)
        m_Edits[i] = EditState{kSpecs[i].start, false, true};
    m_Monotony = {MONO_AUTODETECT, MONO_AUTODETECT};
    ClearResults();
    m_State = BATCH_READY;
    Tavik::SampleParameter p;
    const int status = m_Box.GetSampleParameter(p);
    if (status != Tavik::Box::OK)
    {
        BoxError("Error while reading sample parameter.\n", status);
        m_State = BATCH_BOX_ERROR;
        return;
    }
    m_Frequency = p.GetFrequence();
}

void BatchRun::SetText(Edit edit, const std::string& text)
{
    m_Edits[edit].text = text;
    m_Edits[edit].changed = true;
}

bool BatchRun::ValidateEdits()
{
    bool valid = true;
    for (std::size_t i = 0; i < kRangedEdits; ++i)
    {
        EditState& edit = m_Edits[i];
        if (edit.changed)
        {
            const unsigned value = ParseNumber(edit.text);
            edit.valid = value >= kSpecs[i].min && value <= kSpecs[i].max;
            edit.changed = false;
            if (i == EDIT_SAMPLE_DELAY && edit.valid && m_Frequency > 0)
            {
                const float minimum =
                    float(m_StBits + m_MtBits + 1) * 1000000.0f / float(m_Frequency) + 20.0f;
                if (float(value) <= minimum)
                    m_Sink.Line(Format("Warning while checking sample delay parameter:\n%.0f us "
                                       "is the minimum Sample Delay to observe the specification "
                                       "at SSI Clock Frequence of %i Hz.",
                                       double(minimum), int(m_Frequency)));
            }
        }
        // An edit still drawn red from an earlier validation stops a run too: a run must not
        // start with a value the window marks as wrong.
        valid = valid && edit.valid;
    }
    return valid;
}

void BatchRun::SetMonotony(Part part, std::optional<MONOTONY> mode)
{
    m_Monotony[part] = mode;
}

MONOTONY BatchRun::TakeMonotony(Part part) const
{
    if (m_Monotony[part])
        return *m_Monotony[part];
    Tavik::XAssertionFailed("false", "Invalid combination of IDC_RD_MONO*", SOURCE, __LINE__);
    // The handler returned: check the part anyway, in the direction the readings show. "No
    // Test" would let a broken window pass a part unchecked and paint it green.
    return kMonotonyFallback;
}

void BatchRun::ClearResults()
{
    m_HasResult = false;
}

void BatchRun::ResetBuffer(std::size_t count)
{
    // The old buffer goes first, so two full buffers never live at once.
    std::vector<unsigned>().swap(m_Buffer);
    m_Buffer.reserve(count);
}

void BatchRun::Append(const std::vector<unsigned>& readings)
{
    const std::size_t missing = m_Count > m_Buffer.size() ? m_Count - m_Buffer.size() : 0;
    const std::size_t taken = std::min(missing, readings.size());
    m_Buffer.insert(m_Buffer.end(), readings.begin(), readings.begin() + std::ptrdiff_t(taken));
}

void BatchRun::Start()
{
    if (m_State != BATCH_READY)
        return;
    ClearResults();
    if (!ValidateEdits())
        return;

    Tavik::SampleParameter p;
    int status = m_Box.GetSampleParameter(p);
    if (status != Tavik::Box::OK)
    {
        BoxError("Error while reading sample parameter.\n", status);
        return;
    }
    const unsigned count = ParseNumber(m_Edits[EDIT_SAMPLE_COUNT].text);
    p.SetSampleCount(count);
    p.SetDelay(ParseNumber(m_Edits[EDIT_SAMPLE_DELAY].text));
    const std::string detail = Format("Set sample count to %u.", count);
    status = m_Box.SetSampleParameter(p);
    if (status != Tavik::Box::OK)
    {
        BoxError("Error while setting sample parameter. " + detail + "\n", status);
        return;
    }
    m_Sink.Line("Setting sample parameter. " + detail);

    m_Count = p.GetSampleCount();
    m_Delay = p.GetDelay();
    m_Settings.sampleCount = m_Count;
    m_Settings.delayUs = m_Delay;
    m_Settings.clockHz = m_Frequency;
    m_Settings.stBits = m_StBits;
    m_Settings.mtBits = m_MtBits;
    m_Settings.start = IsoTimeNow();
    ResetBuffer(m_Count);
    m_Saved = false;
    m_Started = m_LastArrival = m_Clock.Now();

    status = m_Box.Sample(m_Arrived);
    if (status == Tavik::Box::OK)
    {
        Append(m_Arrived);
        if (m_Buffer.size() != p.GetSampleCount())
            Tavik::XAssertionFailed("m_Measurement.buffer.size() == para.GetSampleCount()",
                                    "Array size not expected.", SOURCE, __LINE__);
        Check();
    }
    else if (status == Tavik::Box::TIMEOUT)
    {
        Append(m_Arrived);
        m_State = BATCH_SAMPLING;
    }
    else
    {
        // A failed transaction hands back placeholders, not readings: keep none of them (they
        // may fill a whole run's worth of memory), and do not wait for a run that may never
        // have started.
        std::vector<unsigned>().swap(m_Arrived);
        m_Box.TerminateSample();
        BoxError("Error while reading sampled measurements from box.\n", status);
    }
}

void BatchRun::Poll()
{
    if (m_State != BATCH_SAMPLING)
        return;
    const int status = m_Box.GetNextSamples(m_Arrived);
    if (status != Tavik::Box::OK)
    {
        m_State = BATCH_READY;
        BoxError("Error while reading sampled measurements from box.\n", status);
        // The run ends here with what arrived; a box still streaming would refuse the next
        // run. Its answer adds nothing to the error just reported.
        m_Box.TerminateSample();
        return;
    }
    // Progress shows beside the bar; the history keeps the run's start and end only.
    if (!m_Arrived.empty())
        m_LastArrival = m_Clock.Now();
    Append(m_Arrived);
    if (m_Buffer.size() < m_Count)
        return;
    m_Sink.Line(Format("All %d measurements read.", int(m_Buffer.size())));
    m_State = BATCH_READY;
    Check();
}

void BatchRun::Check()
{
    if (m_State != BATCH_READY)
        return;
    m_State = BATCH_CHECKING;
    CodeTester::Config config;
    config.m_StBits = m_StBits;
    config.m_MtBits = m_MtBits;
    config.m_MtMonotony = TakeMonotony(PART_MT);
    config.m_StMonotony = TakeMonotony(PART_ST);
    config.m_MtStepSize = ParseNumber(m_Edits[EDIT_MT_STEP].text);
    config.m_StStepSize = ParseNumber(m_Edits[EDIT_ST_STEP].text);
    config.m_Gray = m_Gray;
    config.m_ErrorLimit = ParseNumber(m_Edits[EDIT_ERROR_LIMIT].text);
    m_Tester.SetConfig(config);
    m_Tester.Test(m_Buffer);
    m_HasResult = true;
    m_Analysis = AnalyseRun(m_Buffer, GetAnalysisConfig());
    for (const std::string& message : m_Tester.GetResult().m_Messages)
        m_Sink.Line(message);
    for (const std::string& line : m_Analysis.SummaryLines())
        m_Sink.Line(line);
    m_Sink.Line("Check finished");
    m_State = BATCH_READY;
}

AnalysisConfig BatchRun::GetAnalysisConfig() const
{
    AnalysisConfig config;
    config.stBits = m_StBits;
    config.mtBits = m_MtBits;
    config.gray = m_Gray;
    config.delayUs = m_Delay;
    config.clockHz = m_Frequency;
    return config;
}

void BatchRun::Stop()
{
    if (m_State != BATCH_SAMPLING)
        return;
    m_State = BATCH_READY;
    const int status = m_Box.TerminateSample();
    if (status != Tavik::Box::OK)
        BoxError("Error while terminating sample processing.", status);
    m_Sink.Line(Format("Sampling stopped: %s of %s readings kept.",
                       FormatCount(m_Buffer.size()).c_str(), FormatCount(m_Count).c_str()));
}

void BatchRun::LoadDummyData()
{
    if (m_State != BATCH_READY)
        return;
    m_Count = kDummyLast - kDummyFirst + 1;
    ResetBuffer(m_Count);
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
    {
        const CodeTester::Result& r = m_Tester.GetResult();
        text += "check " + JudgeCheck(m_Buffer.size(), r, &m_Analysis).Text(r.GetErrorCount());
    }
    else
        text += "not checked";
    return text + (m_Saved ? ", saved to " + m_SavedPath + "." : ", not saved.");
}

BatchRun::View BatchRun::GetView() const
{
    View view;
    view.state = m_State;
    for (std::size_t i = 0; i < kEdits; ++i)
        view.valid[i] = m_Edits[i].valid;
    view.progressMax = m_Count;
    view.progressPos = m_Buffer.size();
    if (m_State == BATCH_SAMPLING)
    {
        const double seconds = SecondsSince(m_Started);
        if (seconds > 0 && !m_Buffer.empty())
        {
            view.ratePerSecond = double(m_Buffer.size()) / seconds;
            view.secondsLeft = double(m_Count - m_Buffer.size()) / view.ratePerSecond;
        }
        view.secondsSinceReading = SecondsSince(m_LastArrival);
        view.stalled = view.secondsSinceReading >= kStallSeconds;
    }
    if (m_HasResult)
    {
        const CodeTester::Result& r = m_Tester.GetResult();
        view.checked = true;
        view.verdict = JudgeCheck(m_Buffer.size(), r, &m_Analysis);
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

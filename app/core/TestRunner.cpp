#include "app/core/TestRunner.h"

#include "app/core/Formats.h"
#include "app/core/HistorySink.h"
#include "app/core/Run.h"
#include "app/core/Unplugged.h"
#include "driver/Box.h"

#include <array>
#include <cmath>
#include <map>

namespace App
{

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
// The run analysis' classes in EventClass order, as measurement names spell them.
constexpr std::array<const char*, kEventClasses> kClassKeys = {
    "spike", "jump", "reversal", "stuck", "gray_fault", "out_of_step", "all_ones", "all_zeros"};

using Values = std::map<std::string, std::optional<double>>;

void AddAnalysis(const Analysis& a, Values& values)
{
    values["readings"] = double(a.readings);
    values["distinct_values"] = double(a.distinct);
    const bool timed = a.durationS > 0;
    values["rpm"] = timed && a.st.moved ? std::optional<double>(std::fabs(a.st.rpm)) : std::nullopt;
    std::uint64_t events = 0;
    for (std::size_t c = 0; c < kEventClasses; ++c)
    {
        events += a.classes[c].count;
        values[std::string(kClassKeys[c]) + "_events"] = double(a.classes[c].count);
        values[std::string(kClassKeys[c]) + "_ppm"] = a.classes[c].ppm;
    }
    values["analysis_events"] = double(events);
}

void AddCheck(const RunCheck& check, Values& values)
{
    // Zero errors of a run that could not be checked prove nothing: no values, so they fail.
    const bool checked = check.verdict.kind != Verdict::NOT_CHECKED;
    const auto value = [checked](double v) { return checked ? std::optional(v) : std::nullopt; };
    const CodeTester::Result& r = check.result;
    values["st_monotony_errors"] = value(r.m_StMonotonyErrors);
    values["mt_monotony_errors"] = value(r.m_MtMonotonyErrors);
    values["st_step_errors"] = value(r.m_StStepErrors);
    values["mt_step_errors"] = value(r.m_MtStepErrors);
    values["check_errors"] = value(double(r.GetErrorCount()));
    values["st_turns"] = value(r.m_StTurns);
    values["mt_turns"] = value(r.m_MtTurns);
}

// The measurements of a step judged against their limits; the step's outcome is the worst.
TestOutcome Judge(const PlanStep& step, const Values& values, StepResult& result)
{
    result.measurements.clear();
    TestOutcome outcome = OUTCOME_PASS;
    for (const PlanMeasurement& m : step.measurements)
    {
        MeasurementResult r;
        r.name = m.name;
        r.unit = m.unit;
        r.limits = m.limits;
        const auto found = values.find(m.name);
        r.value = found == values.end() ? std::nullopt : found->second;
        r.outcome = m.limits.Judge(r.value);
        outcome = Worse(outcome, r.outcome);
        result.measurements.push_back(r);
    }
    return outcome;
}
} // namespace

TestRunner::TestRunner(Box& box, HistorySink& sink, const FTD2xx::Clock& clock, WallClock wall)
    : m_Box(box), m_Sink(sink), m_Clock(clock), m_Wall(std::move(wall)), m_Recording(box, clock)
{
}

TestRunner::~TestRunner()
{
    Stop();
}

bool TestRunner::IsStreaming() const
{
    return m_Sweep ? m_Sweep->IsStreaming() : m_Recording.IsStreaming();
}

bool TestRunner::Start(const TestPlan& plan, const TestUnit& unit,
                       const std::string& programVersion)
{
    if (m_Running)
        return false;
    m_Plan = plan;
    m_Record = {};
    m_Record.uuid = NewUuid();
    m_Record.unit = unit;
    m_Record.start = IsoUtcMillis(m_Wall());
    m_Record.planName = plan.name;
    m_Record.planVersion = plan.version;
    m_Record.planSha256 = plan.sha256;
    m_Record.planFile = plan.file;
    m_Record.boxSerial = m_Box.GetSerial();
    m_Record.boxDescription = m_Box.GetDescription();
    m_Record.settings.box = plan.box;
    m_Record.programVersion = programVersion;
    for (const PlanStep& step : plan.steps)
    {
        StepResult r;
        r.name = step.name;
        r.kind = step.kind;
        m_Record.steps.push_back(r);
    }
    m_Step = 0;
    m_Stopped = m_BoxVanished = m_RestoreFailed = m_HasReadingsOfBatch = m_Saved = m_BoxError =
        false;
    m_Sweep.reset();
    m_Recording.TakeReadings();
    m_Sink.Line(Format("Production test \"%s\" %s: unit %s, %u steps.", plan.name.c_str(),
                       plan.version.c_str(), unit.serial.c_str(), unsigned(plan.steps.size())));
    m_Running = true;
    if (!Apply())
    {
        SkipRest("not run: the box's settings could not be set");
        Finish();
        return false;
    }
    return true;
}

bool TestRunner::Check(int status, const std::string& what)
{
    if (status == Box::OK)
        return true;
    const std::string text = m_Box.GetStatusAsString(status);
    m_BoxVanished = m_BoxVanished || MeansUnplugged(status, text);
    m_Sink.Error("Production test: " + what + "\n" + text);
    m_BoxError = true;
    return false;
}

bool TestRunner::Apply()
{
    if (!Check(m_Box.GetSampleParameter(m_Own), "error while reading sample parameter.") ||
        !Check(m_Box.GetDataMask(m_OwnDataMask), "error while reading data mask.") ||
        !Check(m_Box.GetGrayBinaryMask(m_OwnGrayMask), "error while reading gray binary mask.") ||
        !Check(m_Box.GetSPIData(m_OwnSpiWord), "error while reading SPI data.") ||
        !Check(m_Box.GetPowerMode(m_OwnSupply), "error while reading the power mode."))
        return false;
    m_Saved = true;
    const PlanBox& box = m_Plan.box;
    m_Record.settings.supply = box.supply.value_or(m_OwnSupply);
    m_Base = m_Own;
    m_Base.SetMode(box.mode);
    m_Base.SetFrequence(box.clockHz);
    m_Base.SetDataBits(box.stBits + box.mtBits);
    if (std::string why; !m_Base.Validate(why))
    {
        m_Sink.Error("Production test: the plan's settings do not suit the box: " + why);
        m_BoxError = true;
        return false;
    }
    if (box.supply && *box.supply != m_OwnSupply)
    {
        // From one supply to another through off, as the window's power button goes.
        if (m_OwnSupply != Box::PWR_OFF &&
            !Check(m_Box.SetPowerMode(Box::PWR_OFF), "error while switching the supply off."))
            return false;
        if (!Check(m_Box.SetPowerMode(*box.supply),
                   Format("error while switching the supply to %s.", SupplyName(*box.supply))))
            return false;
    }
    return Check(m_Box.SetDataMask(box.dataMask), "error while setting data mask.") &&
           Check(m_Box.SetGrayBinaryMask(box.grayMask), "error while setting gray binary mask.") &&
           Check(m_Box.SetSPIData(box.spiWord), "error while setting SPI data.") &&
           Check(m_Box.SetSampleParameter(m_Base), "error while setting sample parameter.");
}

void TestRunner::Restore()
{
    if (!m_Saved)
        return;
    m_Saved = false;
    Box::POWER_MODE supply = m_OwnSupply;
    const bool supplyChanged = m_Plan.box.supply && *m_Plan.box.supply != m_OwnSupply;
    // The first failure ends it: a box that is gone would fail every call.
    bool ok =
        Check(m_Box.SetSampleParameter(m_Own), "could not restore the sample parameter.") &&
        Check(m_Box.SetDataMask(m_OwnDataMask), "could not restore the data mask.") &&
        Check(m_Box.SetGrayBinaryMask(m_OwnGrayMask), "could not restore the gray binary mask.") &&
        Check(m_Box.SetSPIData(m_OwnSpiWord), "could not restore the SPI data.");
    if (ok && supplyChanged)
        ok = (supply == Box::PWR_OFF ||
              Check(m_Box.SetPowerMode(Box::PWR_OFF), "could not switch the supply off.")) &&
             Check(m_Box.SetPowerMode(supply),
                   Format("could not restore the supply (%s).", SupplyName(supply)));
    m_RestoreFailed = !ok;
    if (ok)
        m_Sink.Line("Production test: the box's own settings are back, clock " +
                    FormatFrequency(m_Own.GetFrequence()) + ".");
}

void TestRunner::Poll()
{
    if (!m_Running)
        return;
    if (m_Sweep)
    {
        m_Sweep->Poll();
        if (m_Sweep->GetState() != ClockSweep::SWEEP_RUNNING)
            SweepEnded();
        return;
    }
    if (!m_Recording.IsStreaming())
        return BeginAttempt();
    const Recording::State state = m_Recording.Poll();
    if (state == Recording::STREAMING && m_Recording.GetView().stalled)
    {
        // Unattended, a stalled box would hold the line for good: the step errs instead.
        m_Recording.Stop();
        m_Recording.TakeReadings();
        const std::string text =
            Format("no readings for %.0f s: the box stalled.", Recording::kStallSeconds);
        m_Sink.Error("Production test: \"" + CurrentStep().name + "\": " + text);
        return StepError(text, false);
    }
    Settle(state);
}

void TestRunner::BeginAttempt()
{
    const PlanStep& step = CurrentStep();
    StepResult& result = Current();
    ++result.attempts;
    m_Sink.Line(Format("Production test: step %u of %u, \"%s\" (%s)%s.", unsigned(m_Step + 1),
                       unsigned(m_Plan.steps.size()), step.name.c_str(), StepKindName(step.kind),
                       result.attempts > 1 ? Format(", attempt %u", result.attempts).c_str() : ""));
    if (step.kind == STEP_SWEEP)
    {
        m_Sweep = std::make_unique<ClockSweep>(m_Box, m_Sink, m_Plan.box.stBits, m_Plan.box.mtBits,
                                               false, m_Clock);
        if (!m_Sweep->Start(step.sweep))
        {
            const ClockSweep::View view = m_Sweep->GetView();
            const bool vanished = m_Sweep->BoxVanished();
            m_Sweep.reset();
            StepError(view.lastError, vanished);
        }
        return;
    }
    const unsigned hz = step.clockHz ? step.clockHz : m_Plan.box.clockHz;
    const unsigned delay =
        step.delayUs ? step.delayUs : ClockSweep::MinimumDelay(m_Base.GetClocks(), hz);
    Settle(m_Recording.Start({step.count, delay, hz}, m_Base));
}

void TestRunner::Settle(Recording::State state)
{
    if (state == Recording::COMPLETE)
        return Evaluate();
    if (state != Recording::FAILED)
        return;
    const Recording::Failure failure = *m_Recording.LastFailure();
    m_Recording.TakeReadings();
    const std::string text =
        Format("error while %s.\n",
               failure.step == Recording::WRITE_PARAMETERS ? "setting" : "sampling") +
        failure.statusText;
    m_Sink.Error("Production test: \"" + CurrentStep().name + "\": " + text);
    StepError(text, failure.vanished);
}

void TestRunner::Evaluate()
{
    const PlanStep& step = CurrentStep();
    const SampleParameter& p = m_Recording.GetParameters();
    RunSettings settings;
    settings.serial = m_Box.GetSerial();
    settings.description = m_Box.GetDescription();
    settings.mode = SampleParameter::GetModeAsString(p.GetMode());
    settings.clockHz = p.GetFrequence();
    settings.stBits = m_Plan.box.stBits;
    settings.mtBits = m_Plan.box.mtBits;
    settings.dataMask = m_Plan.box.dataMask;
    settings.grayMask = m_Plan.box.grayMask;
    settings.spiWord = m_Plan.box.spiWord;
    settings.delayUs = p.GetDelay();
    settings.sampleCount = step.count;
    settings.start = IsoUtcMillis(m_Wall());
    settings.program = "Tavik " + m_Record.programVersion;
    // The box decodes Gray code itself: the readings are binary.
    const Run run = Run::Borrowing(m_Recording.Readings(), settings, false);

    Values values;
    StepResult& result = Current();
    if (step.kind == STEP_CHECK)
    {
        const RunCheck check = run.Check(step.check);
        AddAnalysis(check.analysis, values);
        AddCheck(check, values);
        result.rootCause = check.analysis.rootCause;
        result.error = check.verdict.kind == Verdict::NOT_CHECKED
                           ? "not checked: " + check.verdict.reason
                           : std::string();
    }
    else
    {
        const Analysis analysis = run.Analyse();
        AddAnalysis(analysis, values);
        result.rootCause = analysis.rootCause;
    }
    if (step.kind == STEP_READ && !run.Readings().empty())
    {
        const unsigned last = run.Readings().back();
        unsigned st = 0;
        unsigned mt = 0;
        Tavik::SplitStMt(m_Plan.box.stBits, m_Plan.box.mtBits, last, st, mt);
        values["raw_value"] = last;
        values["st_position"] = st;
        values["mt_position"] = mt;
    }
    // The attachment keeps the last batch or check, else the last read.
    const bool batch = step.kind != STEP_READ;
    if (batch || !m_HasReadingsOfBatch)
    {
        m_Record.readings = m_Recording.TakeReadings();
        m_Record.readingsSettings = settings;
        m_HasReadingsOfBatch = m_HasReadingsOfBatch || batch;
    }
    else
        m_Recording.TakeReadings();
    EndAttempt(Judge(step, values, result));
}

void TestRunner::SweepEnded()
{
    const ClockSweep::View view = m_Sweep->GetView();
    const bool vanished = m_Sweep->BoxVanished();
    m_Sweep.reset();
    StepResult& result = Current();
    result.sweep = view.points;
    if (view.state != ClockSweep::SWEEP_DONE)
        return StepError(view.lastError, vanished);
    Values values;
    values["max_clean_clock_hz"] = view.recommendation.highestClean;
    values["recommended_clock_hz"] = view.recommendation.clock;
    EndAttempt(Judge(CurrentStep(), values, result));
}

void TestRunner::EndAttempt(TestOutcome outcome)
{
    const PlanStep& step = CurrentStep();
    StepResult& result = Current();
    result.outcome = outcome;
    std::string failed;
    for (const MeasurementResult& m : result.measurements)
        if (m.outcome == OUTCOME_FAIL)
            failed += (failed.empty() ? "" : ", ") + m.name;
    m_Sink.Line(Format("Production test: \"%s\" %s%s.", step.name.c_str(), TestOutcomeName(outcome),
                       failed.empty() ? "" : (": " + failed).c_str()));
    if (outcome == OUTCOME_FAIL && result.attempts <= step.retries)
        return; // the next poll tries again
    if (outcome == OUTCOME_ERROR || (outcome == OUTCOME_FAIL && step.critical))
    {
        SkipRest(outcome == OUTCOME_ERROR
                     ? "not run: the box failed"
                     : "not run: the critical step \"" + step.name + "\" failed");
        return Finish();
    }
    if (++m_Step == m_Plan.steps.size())
        Finish();
}

void TestRunner::StepError(const std::string& text, bool vanished)
{
    m_BoxVanished = m_BoxVanished || vanished;
    Current().error = text;
    Current().measurements.clear();
    EndAttempt(OUTCOME_ERROR);
}

void TestRunner::SkipRest(const std::string& why)
{
    for (StepResult& step : m_Record.steps)
        if (step.attempts == 0)
            step.error = why;
}

void TestRunner::Stop()
{
    if (!m_Running)
        return;
    if (m_Sweep)
    {
        m_Sweep->Stop();
        Current().sweep = m_Sweep->GetView().points;
        m_Sweep.reset();
    }
    else if (m_Recording.IsStreaming())
    {
        m_Recording.Stop();
        m_Recording.TakeReadings();
    }
    m_Stopped = true;
    if (Current().attempts > 0)
    {
        Current().outcome = OUTCOME_ABORTED;
        Current().error = "stopped";
        Current().measurements.clear();
    }
    SkipRest("not run: the test was stopped");
    m_Sink.Line("Production test stopped.");
    Finish();
}

void TestRunner::Finish()
{
    Restore();
    m_Running = false;
    m_Record.end = IsoUtcMillis(m_Wall());
    TestOutcome outcome = OUTCOME_PASS;
    for (const StepResult& step : m_Record.steps)
        if (step.outcome != OUTCOME_ABORTED)
            outcome = Worse(outcome, step.outcome);
    // The box's settings could not be read, set or restored: the test does not hold.
    if (m_BoxError)
        outcome = Worse(outcome, OUTCOME_ERROR);
    m_Record.outcome = m_Stopped ? OUTCOME_ABORTED : outcome;
    m_Record.rootCause.reset();
    for (const StepResult& step : m_Record.steps)
    {
        if (step.rootCause.empty())
            continue;
        // The cause behind a failure wins over one seen in a step that passed.
        const bool failed = step.outcome == OUTCOME_FAIL || step.outcome == OUTCOME_ERROR;
        if (!m_Record.rootCause || failed)
            m_Record.rootCause = step.rootCause;
        if (failed)
            break;
    }
    std::string failed;
    for (const StepResult& step : m_Record.steps)
        for (const MeasurementResult& m : step.measurements)
            if (m.outcome == OUTCOME_FAIL)
                failed += (failed.empty() ? "" : ", ") + m.name;
    m_Sink.Line(Format("Production test of unit %s: %s%s.", m_Record.unit.serial.c_str(),
                       TestOutcomeName(m_Record.outcome),
                       failed.empty() ? "" : (" (" + failed + ")").c_str()));
}

TestRunner::View TestRunner::GetView() const
{
    View view;
    view.running = m_Running;
    view.steps = m_Plan.steps.size();
    view.step = m_Step;
    if (m_Running && m_Step < m_Plan.steps.size())
    {
        view.stepName = m_Plan.steps[m_Step].name;
        view.attempt = m_Record.steps[m_Step].attempts;
        if (m_Sweep)
        {
            const ClockSweep::View sweep = m_Sweep->GetView();
            view.readingsPos = sweep.done;
            view.readingsMax = sweep.points.size();
        }
        else
        {
            view.readingsPos = m_Recording.Readings().size();
            view.readingsMax = m_Plan.steps[m_Step].count;
        }
    }
    return view;
}

} // namespace App

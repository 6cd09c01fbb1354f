// The batch dialog's edits without the dialog: texts, red edits and the settings they give.
#include "app/BatchForm.h"
#include "driver/XAssertion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace App;
using testing::ElementsAre;

namespace
{

TEST(BatchForm, StartsWithTheRangesStartValues)
{
    const BatchForm form;
    EXPECT_EQ(form.Text(BATCH_DELAY), "50");
    EXPECT_EQ(form.Text(BATCH_COUNT), "10000");
    EXPECT_EQ(form.Text(BATCH_ERROR_LIMIT), "1");
    EXPECT_EQ(form.Settings(), BatchSettings{});
}

TEST(BatchForm, EditsOutsideTheirRangeStayRedUntilCorrected)
{
    const struct
    {
        BatchValue value;
        const char* bad[2];
        const char* good;
    } cases[] = {
        {BATCH_DELAY, {"9", "4096"}, "4095"},
        {BATCH_COUNT, {"0", "16777215"}, "16777214"},
        {BATCH_MT_STEP, {"0", "100"}, "99"},
        {BATCH_ST_STEP, {"", "x1"}, "1"},
    };
    BatchForm form;
    for (const auto& c : cases)
    {
        for (const char* bad : c.bad)
        {
            form.SetText(c.value, bad);
            EXPECT_FALSE(form.Validate().valid) << bad;
            EXPECT_FALSE(form.Valid(c.value)) << bad;
            // Still red, unchanged since: still invalid.
            EXPECT_FALSE(form.Validate().valid) << bad;
        }
        form.SetText(c.value, c.good);
        EXPECT_TRUE(form.Validate().valid) << c.good;
        EXPECT_EQ(BatchValueOf(form.Settings(), c.value), BatchForm::ParseNumber(c.good));
    }
    // The error limit takes any number.
    form.SetText(BATCH_ERROR_LIMIT, "0");
    EXPECT_TRUE(form.Validate().valid);
}

TEST(BatchForm, OnlyAChangedValidDelayIsOfferedForTheWarning)
{
    BatchForm form;
    form.SetText(BATCH_DELAY, "46");
    EXPECT_EQ(form.Validate().newDelay, 46u);
    EXPECT_FALSE(form.Validate().newDelay);
    form.SetText(BATCH_DELAY, "9");
    EXPECT_FALSE(form.Validate().newDelay);
}

std::vector<std::string> g_Reports;
void RecordReport(const char* expression, const char* info, const char* file, int)
{
    g_Reports.push_back(std::string(expression) + "|" + info + "|" + file);
}

TEST(BatchForm, RadioGroupWithoutOneCheckedButtonIsReportedAndAutodetected)
{
    BatchForm form;
    form.SetMonotony(BatchForm::PART_MT, MONO_DESC);
    form.SetMonotony(BatchForm::PART_ST, std::nullopt);
    const Tavik::XAssertionHandler previous = Tavik::SetXAssertionHandler(&RecordReport);
    g_Reports.clear();
    const CheckSettings check = form.Check();
    const std::vector<std::string> reports = g_Reports;
    // Restoring the built-in report (nullptr) is itself reported, to the handler above.
    Tavik::SetXAssertionHandler(previous);
    EXPECT_THAT(reports, ElementsAre("false|Invalid combination of IDC_RD_MONO*|BatchSampleDlg"));
    EXPECT_EQ(check.stMonotony, BatchForm::kMonotonyFallback);
    EXPECT_EQ(check.mtMonotony, MONO_DESC);
}

} // namespace

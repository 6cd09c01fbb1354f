// The printable report: its plot geometry, what the page holds, and a look at it in a browser.

#include "app/core/Report.h"
#include "app/core/RunFile.h"
#include "tests/support/TestRecords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace App;
namespace fs = std::filesystem;

TEST(Report, MinMaxColumnsKeepEverySpikeOfAMillionReadings)
{
    std::vector<double> values(1'000'000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = double(i % 8192);
    values[500'123] = 1e6;  // one reading in a million
    values[999'999] = -5.0; // the very last one
    const std::vector<ColumnSpan> columns = MinMaxColumns(values, 720);
    ASSERT_EQ(columns.size(), 720u);
    EXPECT_EQ(columns[500'123 * 720 / 1'000'000].high, 1e6);
    EXPECT_EQ(columns.back().low, -5.0);
    for (const ColumnSpan& c : columns)
        ASSERT_FALSE(c.empty);
    // Fewer values than columns: each value in its own column, the rest empty.
    const std::vector<double> few = {3, 1, 2};
    const std::vector<ColumnSpan> sparse = MinMaxColumns(few, 6);
    EXPECT_EQ(sparse[0].high, 3);
    EXPECT_TRUE(sparse[1].empty);
    EXPECT_EQ(sparse[2].low, 1);
    EXPECT_EQ(sparse[4].low, 2);
    EXPECT_EQ(ReportNumber(1000000), "1,000,000");
    EXPECT_EQ(ReportNumber(-1234), "-1,234");
    EXPECT_EQ(ReportNumber(0.0025), "0.0025");
}

TEST(Report, APageWithPlotsLimitsAndOutcomesThatNeedsNoNetwork)
{
    const fs::path folder = fs::current_path() / "report";
    fs::remove_all(folder);
    TestRecords::Spec spec = TestRecords::Unit(5, "ENC-<b>&0005", "FAIL");
    spec.rootCause = "Spikes: a bad cable or missing shield";
    spec.sweep = true;
    spec.attachment = TestRecords::Uuid(5) + ".h5";
    const std::string json = TestRecords::Write(folder.string(), spec);
    // A turning 13+12-bit encoder with a burst of spikes.
    std::vector<unsigned> readings(200'000);
    for (std::size_t i = 0; i < readings.size(); ++i)
        readings[i] = unsigned((i * 37) % (1u << 25));
    for (std::size_t i = 120'000; i < 120'010; ++i)
        readings[i] ^= 1u << 24;
    RunSettings settings;
    settings.mode = "SSI_Binary";
    settings.stBits = 13;
    settings.mtBits = 12;
    ASSERT_EQ(WriteRunFile((folder / spec.attachment).string(), readings, settings, false),
              BatchFile::BATCH_FILE_OK);

    const std::string html = (folder / "report.html").string();
    ASSERT_EQ(WriteReport(json, html), "");
    std::ifstream in(html);
    std::stringstream text;
    text << in.rdbuf();
    const std::string page = text.str();
    for (const char* expected :
         {"ENC-&lt;b&gt;&amp;0005", "class=\"o big FAIL\"", "st_monotony_errors", "&ge; 1,000,000",
          "marginal above 110", "class=\"trace\"", "class=\"rate\"",
          "Spikes: a bad cable or missing shield", "1,000,000 Hz", "200,000 readings",
          "@media print"})
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    // Nothing to fetch: no scripts, links, images or imports; the one URL is SVG's namespace.
    for (const char* fetching : {"<script", "<link", "<img", "src=", "href=", "@import", "url("})
        EXPECT_EQ(page.find(fetching), std::string::npos) << fetching;

    // Without its attachment the report says so and is written all the same.
    fs::remove(folder / spec.attachment);
    ASSERT_EQ(WriteReport(json, html), "");
    EXPECT_NE(WriteReport((folder / "missing.json").string(), html), "");

    // The page as a browser draws it, for a person to look at.
    const char* chromium = "/usr/bin/chromium";
    if (!fs::exists(chromium))
        GTEST_SKIP() << "no screenshot: chromium is not installed (SETUP_EXTRAS=1 "
                        "scripts/setup-deps.sh)";
    ASSERT_EQ(WriteRunFile((folder / spec.attachment).string(), readings, settings, false),
              BatchFile::BATCH_FILE_OK);
    ASSERT_EQ(WriteReport(json, html), "");
    const std::string png = (folder / "report.png").string();
    const std::string command = std::string(chromium) +
                                " --headless --no-sandbox --disable-gpu --hide-scrollbars"
                                " --window-size=900,2000 --screenshot=" +
                                png + " file://" + html + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_GT(fs::file_size(png), 20'000u) << png;
    std::printf("The report's screenshot: %s\n", png.c_str());
}

// The main window and the results store: records left in the spool are counted on screen
// and sent at the next start.

#include "DialogTestSupport.h"

#include "app/core/RecordSpool.h"
#include "tests/support/TestRecords.h"

#include <QLabel>

#include <filesystem>

namespace fs = std::filesystem;

TEST_F(DialogTest, RecordsWaitingForTheStoreAreShownAndSentAtTheNextStart)
{
    const std::string data =
        (fs::current_path() / ("waiting-" + std::to_string(::getpid()))).string();
    fs::remove_all(data);
    for (int id = 1; id <= 3; ++id)
        TestRecords::Write(data + "/spool", TestRecords::Unit(id));
    // The store's folder does not exist: nothing can be sent.
    const std::string store = data + "/line/records.sqlite";
    WriteIni("[Default]\nStore=" + store + "\n");
    m_DataFolder = data;

    Dlg().WaitForForwarding();
    QLabel* label = Dlg().GetWaitingLabel();
    EXPECT_EQ(label->text().toStdString(), "3 records waiting to be sent");
    // On screen: the label is what the window has at its place.
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(Dlg().childAt(label->geometry().center()), label);
    const std::vector<std::string> lines = NewLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& line)
                            { return line.rfind("Error: Records not sent: ", 0) == 0; }));

    // The next start, the store reachable: all three go, and the count goes with them.
    m_Dlg.reset();
    fs::create_directories(data + "/line");
    Dlg().WaitForForwarding();
    EXPECT_FALSE(Dlg().GetWaitingLabel()->isVisible());
    EXPECT_EQ(WaitingRecords(data + "/spool", store), 0u);
    std::string error;
    const auto records = MakeRecordStore(store, error);
    std::vector<RecordRow> rows;
    ASSERT_TRUE(records->Find({}, rows, error)) << error;
    EXPECT_EQ(rows.size(), 3u);
}

#include "DialogTestSupport.h"

#include "app/core/GuiState.h"

// Every control the state table names is a control of the main window, so a wrong id in the
// window's map fails here instead of being passed over.
TEST_F(DialogTest, StateTableNamesOnlyControlsOfTheWindow)
{
    for (const GuiState state :
         {GS_INIT, GS_DISCONNECTED, GS_CONNECTED, GS_POWERED, GS_BATCH, GS_CONTINUOUS, GS_WAITING})
    {
        for (const ControlState& c : ControlStatesFor(state))
        {
            const int id = CTavikDlg::ControlId(c.control);
            QWidget* control = Dlg().GetDlgItem(id);
            ASSERT_NE(control, nullptr) << "state " << state << ", control " << id;
            if (c.text != nullptr)
            {
                EXPECT_NE(qobject_cast<QAbstractButton*>(control), nullptr) << id;
            }
        }
    }
}

#include "DialogTestSupport.h"

#include "app/core/GuiState.h"

// Every control the state table names is a control of the main window, so a wrong id in the
// table fails here instead of being passed over.
TEST_F(DialogTest, StateTableNamesOnlyControlsOfTheWindow)
{
    for (const GuiState state :
         {GS_INIT, GS_DISCONNECTED, GS_CONNECTED, GS_POWERED, GS_BATCH, GS_CONTINUOUS})
    {
        for (const ControlState& c : ControlStatesFor(state))
        {
            QWidget* control = Dlg().GetDlgItem(c.id);
            ASSERT_NE(control, nullptr) << "state " << state << ", control " << c.id;
            if (c.text != nullptr)
            {
                EXPECT_NE(qobject_cast<QAbstractButton*>(control), nullptr) << c.id;
            }
        }
    }
}

#pragma once

#include "driver/Box.h"

namespace App
{

class CTavikDlg;

// How a visualisation dialog switches the box's outputs.
class SwitchCallBack
{
public:
    virtual ~SwitchCallBack() = default;
    // Switches output `index` (0 to 2) to the OUTPUT_MODE `mode`.
    virtual void SwitchOutput(int index, int mode) = 0;
};

// Switches through the main dialog: checks the output's radio button there first, then
// switches the output with its history line. Does not own the dialog.
class VisualizeDlgCallBack : public SwitchCallBack
{
public:
    explicit VisualizeDlgCallBack(CTavikDlg* dlg) : m_pDlg(dlg) {}
    void SwitchOutput(int index, int mode) override;

private:
    CTavikDlg* m_pDlg;
};

} // namespace App

#include "app/SwitchCallBack.h"

#include "app/TavikDlg.h"

namespace App
{

void VisualizeDlgCallBack::SwitchOutput(int index, int mode)
{
    const auto outputMode = static_cast<Tavik::Box::OUTPUT_MODE>(mode);
    m_pDlg->ShowOutputMode(index, outputMode);
    m_pDlg->OnOutputClicked(index, outputMode);
}

} // namespace App

#include "app/VisualizeSegmentDlg.h"

#include "app/Artwork.h"
#include "app/OutputPanel.h"
#include "app/Resource.h"
#include "app/VisualizeSegmentParaDlg.h"
#include "app/core/VisualizeSettings.h"
#include "base/Support.h"
#include "controls/SegmentCtrl.h"

#include <QMouseEvent>
#include <QResizeEvent>

namespace App
{

using zef::Glimra::WindowSizer;

VisualizeSegmentDlg::VisualizeSegmentDlg(const zef::IniFile* ini, QWidget* parent)
    : DialogBase(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                             Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Digital Absolute Angular Encoder Visualisation"));
    const QRect size = DialogUnitsToPixels(0, 0, 496, 294);
    resize(size.size());

    m_Displays[UPPER] =
        Place(new zef::Glimra::SegmentCtrl(this), IDC_ST_SEGMENT_UPPER, 24, 18, 264, 108);
    m_Displays[LOWER] =
        Place(new zef::Glimra::SegmentCtrl(this), IDC_ST_SEGMENT_LOWER, 24, 162, 264, 108);
    m_Displays[UPPER]->setAccessibleName(QStringLiteral("Upper display"));
    m_Displays[LOWER]->setAccessibleName(QStringLiteral("Lower display"));
    m_Panel = new OutputPanel(this, [this](QWidget* w, int id, int x, int y, int cx, int cy)
                              { Place(w, id, x, y, cx, cy); });

    m_Icon = MakeProgramIcon();
    setWindowIcon(m_Icon);
    const VisualizeSettings settings =
        VisualizeSettings::Read(ini ? *ini : zef::Support::GetAppIni());
    for (zef::Glimra::SegmentCtrl* display : m_Displays)
    {
        display->SetColor(settings.segmentOffColor, settings.segmentOnColor);
        display->SetBackColor(settings.segmentBackColor);
        display->setCursor(Qt::PointingHandCursor);
        display->installEventFilter(this); // a click opens the format dialog
    }
    m_Panel->Apply(settings);
    SetLastSample(1, 1, 0, 0);
    UpdateDisplays();

    m_Sizer.Init(this);
    m_Sizer.SetMinimalSize(*this);
    m_Sizer.AddChild(m_Displays[UPPER], WindowSizer::RULE_NONE, WindowSizer::RULE_NONE,
                     WindowSizer::RULE_FULL, WindowSizer::RULE_HALF);
    m_Sizer.AddChild(m_Displays[LOWER], WindowSizer::RULE_HALF, WindowSizer::RULE_NONE,
                     WindowSizer::RULE_FULL, WindowSizer::RULE_HALF);
    m_Panel->AddToSizer(m_Sizer);
    zef::Glimra::MINMAXINFO limits{};
    m_Sizer.OnGetMinMaxInfo(&limits);
    setMinimumSize(limits.ptMinTrackSize.x(), limits.ptMinTrackSize.y());

    // The upper display shows the turns, the lower one the singleturn position; the next
    // sample shows them.
    m_Formats[UPPER] = {1.0, 0.0, 0.0, 0, true};
    m_Formats[LOWER] = {0.0, 1.0, 0.0, 0, true};
}

VisualizeSegmentDlg::~VisualizeSegmentDlg() = default;

void VisualizeSegmentDlg::SetCallBack(std::unique_ptr<SwitchCallBack> callBack)
{
    m_Panel->SetCallBack(std::move(callBack));
}

void VisualizeSegmentDlg::ShowOutputMode(int index, int mode)
{
    m_Panel->ShowOutputMode(index, mode);
}

void VisualizeSegmentDlg::SetLastSample(unsigned stBits, unsigned mtBits, unsigned st, unsigned mt)
{
    m_StBits = stBits;
    m_MtBits = mtBits;
    m_St = st;
    m_Mt = mt;
}

void VisualizeSegmentDlg::UpdateDisplays()
{
    for (const Display display : {UPPER, LOWER})
        m_Displays[display]->SetText(ToQ(SegmentText(m_Formats[display], m_StBits, m_St, m_Mt)));
}

void VisualizeSegmentDlg::RunFormatDialog(Display display)
{
    VisualizeSegmentParaDlg dlg(this);
    dlg.SetFormat(m_Formats[display]);
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_Formats[display] = dlg.GetFormat();
    UpdateDisplays();
}

void VisualizeSegmentDlg::resizeEvent(QResizeEvent* event)
{
    DialogBase::resizeEvent(event);
    int cx = event->size().width();
    int cy = event->size().height();
    m_Sizer.OnSize(0, cx, cy);
}

bool VisualizeSegmentDlg::eventFilter(QObject* watched, QEvent* event)
{
    const bool press = event->type() == QEvent::MouseButtonPress;
    if ((press || event->type() == QEvent::MouseButtonRelease) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
    {
        for (const Display display : {UPPER, LOWER})
        {
            if (watched != m_Displays[display])
                continue;
            // The press is taken here so that the release comes back to this display; the
            // release completes the click.
            if (!press)
                Guard([this, display] { RunFormatDialog(display); });
            return true;
        }
    }
    return DialogBase::eventFilter(watched, event);
}

} // namespace App

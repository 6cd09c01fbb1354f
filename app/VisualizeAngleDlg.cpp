#include "app/VisualizeAngleDlg.h"

#include "app/Artwork.h"
#include "app/OutputPanel.h"
#include "app/Resource.h"
#include "app/core/SegmentFormat.h"
#include "app/core/VisualizeSettings.h"
#include "base/Support.h"
#include "controls/RotationAngleCtrl.h"
#include "controls/SegmentCtrl.h"

#include <QResizeEvent>

namespace App
{

using zef::Glimra::WindowSizer;

VisualizeAngleDlg::VisualizeAngleDlg(const zef::IniFile* ini, QWidget* parent)
    : DialogBase(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                             Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Absolute Angular Encoder Visualisation"));
    const QRect size = DialogUnitsToPixels(0, 0, 496, 294);
    resize(size.size());

    m_TurnDisplay = Place(new zef::Glimra::SegmentCtrl(this), IDC_ST_TURNS, 42, 210, 210, 60);
    m_Dial =
        Place(new zef::Glimra::RotationAngleCtrl(this), IDC_ST_ROTATIONANGLE, 42, 18, 210, 162);
    m_Panel = new OutputPanel(this, [this](QWidget* w, int id, int x, int y, int cx, int cy)
                              { Place(w, id, x, y, cx, cy); });

    m_Icon = MakeProgramIcon();
    setWindowIcon(m_Icon);
    const VisualizeSettings settings =
        VisualizeSettings::Read(ini ? *ini : zef::Support::GetAppIni());

    const zef::Glimra::ColorRef buttonFace = zef::Glimra::GetSysColor(zef::Glimra::COLOR_BTNFACE);
    m_Dial->SetOffset(0);
    m_Dial->SetClockFaceAngle(0);
    m_Dial->SetClockFaceDirection(false);
    m_Dial->SetColorKnob(settings.knobColor.value_or(buttonFace));
    m_Dial->SetKnobBoundary3d(false);
    m_Dial->SetColorIndicator(settings.indicatorColor);
    m_Dial->SetBkColor(buttonFace);
    m_TurnDisplay->SetColor(settings.segmentOffColor, settings.segmentOnColor);
    m_TurnDisplay->SetBackColor(settings.segmentBackColor);
    m_Panel->Apply(settings);
    m_Dial->SetAngle(360);
    m_TurnDisplay->SetText(ToQ(FormatTurns(0)));

    m_Sizer.Init(this);
    m_Sizer.SetMinimalSize(*this);
    m_Sizer.AddChild(m_Dial, WindowSizer::RULE_NONE, WindowSizer::RULE_NONE, WindowSizer::RULE_FULL,
                     WindowSizer::RULE_HALF);
    m_Sizer.AddChild(m_TurnDisplay, WindowSizer::RULE_HALF, WindowSizer::RULE_NONE,
                     WindowSizer::RULE_FULL, WindowSizer::RULE_HALF);
    m_Panel->AddToSizer(m_Sizer);
    zef::Glimra::MINMAXINFO limits{};
    m_Sizer.OnGetMinMaxInfo(&limits);
    setMinimumSize(limits.ptMinTrackSize.x(), limits.ptMinTrackSize.y());
}

VisualizeAngleDlg::~VisualizeAngleDlg() = default;

void VisualizeAngleDlg::SetCallBack(std::unique_ptr<SwitchCallBack> callBack)
{
    m_Panel->SetCallBack(std::move(callBack));
}

void VisualizeAngleDlg::ShowOutputMode(int index, int mode)
{
    m_Panel->ShowOutputMode(index, mode);
}

void VisualizeAngleDlg::ShowSample(unsigned stBits, unsigned st, unsigned mt)
{
    m_Dial->SetAngle(int(360 - SampleAngle(stBits, st)));
    m_TurnDisplay->SetText(ToQ(FormatTurns(mt)));
}

void VisualizeAngleDlg::resizeEvent(QResizeEvent* event)
{
    DialogBase::resizeEvent(event);
    int cx = event->size().width();
    int cy = event->size().height();
    m_Sizer.OnSize(0, cx, cy);
}

} // namespace App

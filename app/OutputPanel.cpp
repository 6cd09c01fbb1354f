#include "app/OutputPanel.h"

#include "app/Artwork.h"
#include "app/DialogBase.h"
#include "app/Label.h"
#include "app/Resource.h"
#include "controls/BmpCtrl.h"
#include "controls/WindowSizer.h"

#include <QGroupBox>
#include <QLabel>

#include <algorithm>

namespace App
{

using zef::Glimra::WindowSizer;

namespace
{
constexpr const char* LABEL_TEXTS[3] = {"LOW", "OFF", "HIGH"};
constexpr int LABEL_X[3] = {336, 366, 396};
constexpr int GROUP_Y[3] = {84, 150, 216};
constexpr int LABEL_Y[3] = {103, 169, 234};
} // namespace

int OutputPanel::LabelMode(int k)
{
    // LOW is OUT_LOW_GND (1), OFF is OUT_OPEN (0), HIGH is OUT_HIGH_UB (2).
    constexpr int modes[3] = {Tavik::Box::OUT_LOW_GND, Tavik::Box::OUT_OPEN,
                              Tavik::Box::OUT_HIGH_UB};
    return modes[k];
}

OutputPanel::OutputPanel(QWidget* dialog, const PlaceFunction& place) : QObject(dialog)
{
    m_BuiltInLogo = new QLabel(dialog);
    place(m_BuiltInLogo, IDC_ST_LOGO_BUILTIN, 318, 18, 126, 54);
    // The artwork is drawn for the about box's 204 x 40 area; keep that shape, centred.
    const QSize area = m_BuiltInLogo->size();
    m_BuiltInLogo->setPixmap(
        MakeLogoPixmap(QSize(area.width(), std::min(area.height(), area.width() * 40 / 204))));
    m_BuiltInLogo->setAlignment(Qt::AlignCenter);
    m_Logo = new zef::Glimra::BmpCtrl(dialog);
    place(m_Logo, IDC_ST_LOGO_BMP, 318, 18, 126, 54);
    m_Logo->hide();

    for (int i = 0; i < 3; ++i)
    {
        m_Groups[std::size_t(i)] = new QGroupBox(QStringLiteral("Output %1").arg(i + 1), dialog);
        place(m_Groups[std::size_t(i)], IDC_GR_OUTPUT1 + i, 318, GROUP_Y[i], 126, 54);
        for (int k = 0; k < 3; ++k)
        {
            const int id = IDC_ST_OUT1_LOW + 3 * i + k;
            auto* label = new CLabel(QString::fromLatin1(LABEL_TEXTS[k]), dialog,
                                     CLabel::SS_CENTER | CLabel::SS_NOTIFY);
            place(label, id, LABEL_X[k], LABEL_Y[i], 30, 24);
            label->SetSunkenEdge(true);
            label->setAccessibleName(
                QStringLiteral("Output %1: %2").arg(i + 1).arg(QLatin1String(LABEL_TEXTS[k])));
            label->SetHyperlink(false, true); // clicks go to the dialog, no link
            connect(label, &CLabel::Notify, this,
                    [this](CLabel*, int labelId, int)
                    { DialogBase::Guard([this, labelId] { OnLabelClicked(labelId); }); });
            m_Labels[std::size_t(3 * i + k)] = label;
        }
    }
}

OutputPanel::~OutputPanel() = default;

void OutputPanel::Apply(const VisualizeSettings& settings)
{
    m_SwitchOn = settings.switchOnColor;
    m_SwitchOff = settings.switchOffColor;
    for (std::size_t i = 0; i < 3; ++i)
    {
        if (settings.outputTitles[i])
            m_Groups[i]->setTitle(ToQ(*settings.outputTitles[i]));
    }
    if (settings.noBrand)
    {
        m_BuiltInLogo->hide();
        m_Logo->hide();
        return;
    }
    const bool loaded = settings.logo && m_Logo->Load(ToQ(*settings.logo));
    m_Logo->setVisible(loaded);
    m_BuiltInLogo->setVisible(!loaded);
}

void OutputPanel::AddToSizer(WindowSizer& sizer) const
{
    for (CLabel* label : m_Labels)
        sizer.AddChild(label, WindowSizer::RULE_HALF, WindowSizer::RULE_FULL,
                       WindowSizer::RULE_NONE, WindowSizer::RULE_NONE);
    for (QWidget* logo : {static_cast<QWidget*>(m_BuiltInLogo), static_cast<QWidget*>(m_Logo)})
        sizer.AddChild(logo, WindowSizer::RULE_NONE, WindowSizer::RULE_FULL, WindowSizer::RULE_NONE,
                       WindowSizer::RULE_NONE);
    for (QGroupBox* group : m_Groups)
        sizer.AddChild(group, WindowSizer::RULE_HALF, WindowSizer::RULE_FULL,
                       WindowSizer::RULE_NONE, WindowSizer::RULE_NONE);
}

void OutputPanel::SetCallBack(std::unique_ptr<SwitchCallBack> callBack)
{
    m_CallBack = std::move(callBack);
}

void OutputPanel::ShowOutputMode(int index, int mode)
{
    if (index < 0 || index > 2)
        return;
    for (int k = 0; k < 3; ++k)
        m_Labels[std::size_t(3 * index + k)]->SetBackground(
            LabelMode(k) == mode ? m_SwitchOn : m_SwitchOff, 0, false);
}

void OutputPanel::OnLabelClicked(int id)
{
    if (id < IDC_ST_OUT1_LOW || id > IDC_ST_OUT3_HIGH)
        return;
    const int index = (id - IDC_ST_OUT1_LOW) / 3;
    const int mode = LabelMode((id - IDC_ST_OUT1_LOW) % 3);
    ShowOutputMode(index, mode);
    if (m_CallBack)
        m_CallBack->SwitchOutput(index, mode);
}

CLabel* OutputPanel::GetLabel(int id) const
{
    if (id < IDC_ST_OUT1_LOW || id > IDC_ST_OUT3_HIGH)
        return nullptr;
    return m_Labels[std::size_t(id - IDC_ST_OUT1_LOW)];
}

} // namespace App

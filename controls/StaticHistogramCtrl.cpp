#include "controls/StaticHistogramCtrl.h"

#include "controls/PaintDCGuard.h"

namespace zef::Glimra
{

StaticHistogramCtrl::StaticHistogramCtrl(QWidget* parent) : QWidget(parent) {}

StaticHistogramCtrl::~StaticHistogramCtrl() = default;

void StaticHistogramCtrl::Add(double value)
{
    if (m_Measurements.size() > static_cast<std::size_t>(GetDisplayedMeasurements()))
        m_Measurements.pop_back();
    m_Measurements.push_front(value);
    Redraw();
}

void StaticHistogramCtrl::SetData(const std::deque<double>& data)
{
    m_Measurements = data;
}

void StaticHistogramCtrl::SetText(const std::deque<QString>& texts)
{
    m_Texts = texts;
    Redraw();
}

void StaticHistogramCtrl::SetMaxValue(double max)
{
    m_MaxValue = max;
    Redraw();
}

void StaticHistogramCtrl::SetTextLeft(bool left)
{
    m_TextLeft = left;
    Redraw();
}

void StaticHistogramCtrl::SetTextWidth(long width)
{
    m_TextWidth = width;
    Redraw();
}

void StaticHistogramCtrl::Redraw()
{
    repaint();
}

HistogramLayout StaticHistogramCtrl::Layout() const
{
    return ComputeHistogramLayout(Rect::FromQRect(rect()), m_TextLeft, m_TextWidth);
}

Rect StaticHistogramCtrl::GetTextRect() const
{
    return Layout().text;
}

Rect StaticHistogramCtrl::GetMeasurementRect() const
{
    return Layout().measurement;
}

int StaticHistogramCtrl::GetDisplayedMeasurements() const
{
    return Layout().displayed;
}

void StaticHistogramCtrl::paintEvent(QPaintEvent*)
{
    DrawContext dc(this);
    Paint(dc);
}

void StaticHistogramCtrl::Paint(DrawContext& dc)
{
    const HistogramLayout layout = Layout();
    const ColorRef face = GetSysColor(COLOR_BTNFACE);

    PaintDCGuard guard(dc);
    dc.FillSolidRect(layout.text, face);
    guard.SetBkMode(TRANSPARENT);
    guard.SetTextColor(GetSysColor(COLOR_BTNTEXT));

    if (!m_Texts.empty())
    {
        guard.SetFont(font());
        const int th = dc.GetTextMetrics().height;
        const std::vector<int> tops =
            HistogramTextTops(layout.text, th, static_cast<int>(m_Texts.size()));
        for (std::size_t i = 0; i < m_Texts.size(); ++i)
        {
            Rect box{layout.text.left, tops[i], layout.text.right, tops[i] + th};
            dc.DrawText(m_Texts[i], box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        guard.RestoreFont();
    }

    if (m_MaxValue == 0)
        return;

    const Rect& area = layout.measurement;
    dc.FillSolidRect(area, face);
    const int full = area.Height() - 2;
    if (full <= 0)
        return;
    const ColorRef bar = GetSysColor(COLOR_BTNHIGHLIGHT);
    const int bars = HistogramBarCount(area, m_Measurements.size());
    for (int i = 0; i < bars; ++i)
    {
        const int left = area.left + i * HistogramBarWidth;
        const int h =
            HistogramBarHeight(m_Measurements[static_cast<std::size_t>(i)], m_MaxValue, full);
        dc.FillSolidRect({left, area.bottom - full, left + HistogramBarWidth, area.bottom - h},
                         face);
        dc.FillSolidRect({left, area.bottom - h, left + HistogramBarWidth, area.bottom}, bar);
    }
}

} // namespace zef::Glimra

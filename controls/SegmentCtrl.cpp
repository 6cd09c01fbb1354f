#include "controls/SegmentCtrl.h"

#include "controls/MemoryDC.h"
#include "controls/PaintDCGuard.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <map>
#include <tuple>

namespace zef::Glimra
{

namespace
{

struct DesignPoint
{
    int x;
    int y;
    char type; // 'M', 'L' or 'C'
};

SegmentOutline Plain(std::initializer_list<QPoint> pts)
{
    SegmentOutline o;
    for (const QPoint& p : pts)
    {
        o.types.push_back(o.points.empty() ? PT_MOVETO : PT_LINETO);
        o.points.push_back(p);
    }
    return o;
}

SegmentOutline Typed(std::initializer_list<DesignPoint> pts)
{
    SegmentOutline o;
    for (const DesignPoint& p : pts)
    {
        o.points.push_back({p.x, p.y});
        o.types.push_back(p.type == 'M' ? PT_MOVETO : p.type == 'C' ? PT_BEZIERTO : PT_LINETO);
    }
    return o;
}

// Mirrors on the 49-unit grid: x' = 48 - x, y' = 82 - y.
SegmentOutline MirrorH(SegmentOutline o)
{
    for (QPoint& p : o.points)
        p.setX(48 - p.x());
    return o;
}

SegmentOutline MirrorV(SegmentOutline o)
{
    for (QPoint& p : o.points)
        p.setY(82 - p.y());
    return o;
}

SegmentOutline MirrorHV(SegmentOutline o)
{
    return MirrorH(MirrorV(std::move(o)));
}

constexpr std::uint16_t kSeven[12] = {0x00, 0x77, 0x24, 0x5D, 0x6D, 0x2E,
                                      0x6B, 0x7B, 0x25, 0x7F, 0x6F, 0x08};
constexpr std::uint16_t kFourteen[12] = {0x0000, 0x3F00, 0x1800, 0x36C0, 0x3CC0, 0x19C0,
                                         0x2DC0, 0x2FC0, 0x3800, 0x3FC0, 0x3DC0, 0x00C0};
constexpr std::uint16_t kLetters[26] = {0x3BC0, 0x3CA1, 0x2700, 0x3C21, 0x27C0, 0x23C0, 0x2F80,
                                        0x1BC0, 0x2421, 0x1E00, 0x0354, 0x0700, 0x1B06, 0x1B12,
                                        0x3F00, 0x33C0, 0x3F10, 0x33D0, 0x2DC0, 0x2021, 0x1F00,
                                        0x030C, 0x1B18, 0x001E, 0x11E0, 0x240C};

} // namespace

CDigiChar::~CDigiChar() = default;

void CDigiChar::SetSegments(std::uint16_t mask, std::uint32_t)
{
    m_mask = mask;
    m_cacheValid = false;
}

std::unique_ptr<CDigiChar> CDigiChar::Clone() const
{
    return std::make_unique<CDigiChar>(*this);
}

void CDigi7Segment::SetSegments(std::uint16_t mask, std::uint32_t style)
{
    m_outlines.clear();
    if (style & SegmentCtrl::STYLE_ROUNDED)
    {
        const SegmentOutline top = Typed({{6, 4, 'M'},
                                          {5, 5, 'C'},
                                          {5, 6, 'C'},
                                          {8, 9, 'C'},
                                          {12, 11, 'L'},
                                          {36, 11, 'L'},
                                          {39, 4, 'L'}});
        const SegmentOutline upperLeft = Typed({{4, 9, 'M'},
                                                {4, 39, 'L'},
                                                {6, 40, 'C'},
                                                {7, 40, 'C'},
                                                {9, 38, 'C'},
                                                {11, 36, 'L'},
                                                {11, 12, 'L'}});
        const SegmentOutline upperRight = Typed({{37, 36, 'M'},
                                                 {39, 38, 'C'},
                                                 {41, 40, 'C'},
                                                 {42, 40, 'L'},
                                                 {44, 39, 'L'},
                                                 {44, 6, 'L'},
                                                 {42, 4, 'C'},
                                                 {41, 4, 'C'},
                                                 {39, 8, 'C'},
                                                 {37, 12, 'L'}});
        m_outlines = {top,
                      upperLeft,
                      upperRight,
                      Typed({{8, 41, 'M'},
                             {12, 45, 'L'},
                             {36, 45, 'L'},
                             {40, 41, 'L'},
                             {36, 37, 'L'},
                             {12, 37, 'L'}}),
                      MirrorV(upperLeft),
                      MirrorV(upperRight),
                      MirrorV(top)};
    }
    else
    {
        const SegmentOutline top = Plain({{5, 4}, {12, 11}, {36, 11}, {43, 4}});
        const SegmentOutline upperLeft = Plain({{4, 6}, {4, 40}, {11, 36}, {11, 13}});
        m_outlines = {top,
                      upperLeft,
                      MirrorH(upperLeft),
                      Plain({{6, 41}, {14, 45}, {34, 45}, {42, 41}, {34, 37}, {14, 37}}),
                      MirrorV(upperLeft),
                      MirrorHV(upperLeft),
                      MirrorV(top)};
    }
    CDigiChar::SetSegments(mask, style);
}

std::unique_ptr<CDigiChar> CDigi7Segment::Clone() const
{
    return std::make_unique<CDigi7Segment>(*this);
}

void CDigi14Segment::SetSegments(std::uint16_t mask, std::uint32_t style)
{
    SegmentOutline a, b, c, d, e;
    if (style & SegmentCtrl::STYLE_ROUNDED)
    {
        a = Typed({{20, 12, 'M'},
                   {20, 25, 'L'},
                   {22, 36, 'C'},
                   {23, 39, 'C'},
                   {24, 40, 'C'},
                   {25, 39, 'C'},
                   {26, 36, 'C'},
                   {28, 25, 'L'},
                   {28, 12, 'L'},
                   {26, 10, 'C'},
                   {24, 9, 'C'},
                   {22, 10, 'C'},
                   {20, 12, 'L'}});
        b = Typed({{10, 10, 'M'},
                   {10, 13, 'C'},
                   {11, 20, 'C'},
                   {13, 28, 'C'},
                   {21, 38, 'L'},
                   {21, 37, 'L'},
                   {19, 26, 'C'},
                   {15, 16, 'C'},
                   {11, 10, 'C'},
                   {10, 10, 'L'}});
        c = Typed({{8, 41, 'M'},
                   {12, 45, 'L'},
                   {16, 45, 'L'},
                   {23, 41, 'L'},
                   {16, 37, 'L'},
                   {12, 37, 'L'}});
        d = Typed({{4, 7, 'M'},
                   {4, 39, 'L'},
                   {5, 40, 'C'},
                   {6, 40, 'C'},
                   {9, 37, 'C'},
                   {11, 33, 'C'},
                   {11, 25, 'L'},
                   {9, 14, 'C'},
                   {5, 6, 'C'},
                   {4, 7, 'L'}});
        e = Typed({{8, 4, 'M'},
                   {7, 5, 'C'},
                   {7, 6, 'C'},
                   {9, 8, 'C'},
                   {12, 9, 'C'},
                   {14, 11, 'L'},
                   {19, 11, 'L'},
                   {21, 9, 'C'},
                   {24, 7, 'C'},
                   {27, 9, 'C'},
                   {29, 11, 'L'},
                   {34, 11, 'L'},
                   {36, 9, 'C'},
                   {39, 8, 'C'},
                   {41, 6, 'C'},
                   {41, 5, 'C'},
                   {40, 4, 'L'}});
    }
    else
    {
        a = Plain({{20, 13}, {20, 36}, {24, 40}, {28, 36}, {28, 13}});
        b = Plain({{5, 5}, {15, 35}, {20, 37}, {18, 25}});
        c = Plain({{6, 41}, {14, 45}, {18, 45}, {22, 41}, {18, 37}, {14, 37}});
        d = Plain({{4, 7}, {4, 40}, {11, 36}, {11, 26}});
        e = Plain({{6, 4}, {11, 11}, {37, 11}, {42, 4}});
    }
    m_outlines = {a,          b, MirrorH(b), MirrorV(b), MirrorHV(b), MirrorV(a), c,
                  MirrorH(c), d, MirrorV(d), MirrorV(e), MirrorHV(d), MirrorH(d), e};
    CDigiChar::SetSegments(mask, style);
}

std::unique_ptr<CDigiChar> CDigi14Segment::Clone() const
{
    return std::make_unique<CDigi14Segment>(*this);
}

void CDigiColonDotChar::SetSegments(std::uint16_t mask, std::uint32_t style)
{
    m_outlines = {Plain({{4, 23}, {4, 32}, {13, 32}, {13, 23}}),
                  Plain({{4, 50}, {4, 59}, {13, 59}, {13, 50}}),
                  Plain({{4, 68}, {4, 77}, {13, 77}, {13, 68}})};
    CDigiChar::SetSegments(mask, style);
}

std::unique_ptr<CDigiChar> CDigiColonDotChar::Clone() const
{
    return std::make_unique<CDigiColonDotChar>(*this);
}

std::unique_ptr<CDigiChar> MakeDigiChar(QChar qc, std::uint32_t style)
{
    const char16_t c = qc.unicode();
    std::unique_ptr<CDigiChar> cell;
    std::uint16_t mask = 0;
    if ((c >= u'0' && c <= u'9') || c == u' ' || c == u'-')
    {
        const int index = c == u' ' ? 0 : c == u'-' ? 11 : c - u'0' + 1;
        if (style & SegmentCtrl::STYLE_14_SEGMENT)
        {
            cell = std::make_unique<CDigi14Segment>();
            mask = kFourteen[index];
        }
        else
        {
            cell = std::make_unique<CDigi7Segment>();
            mask = kSeven[index];
        }
    }
    else if (c >= u'A' && c <= u'Z')
    {
        cell = std::make_unique<CDigi14Segment>();
        mask = kLetters[c - u'A'];
    }
    else if (c == u'*' || c == u'+')
    {
        cell = std::make_unique<CDigi14Segment>();
        mask = c == u'*' ? 0x00FF : 0x00E1;
    }
    else if (c == u'.' || c == u':')
    {
        cell = std::make_unique<CDigiColonDotChar>();
        mask = c == u'.' ? 0x04 : 0x03;
    }
    if (cell)
        cell->SetSegments(mask, style);
    return cell;
}

std::vector<CellBox> LayoutCells(const std::vector<int>& widths, int w, int h, std::uint32_t style)
{
    std::vector<CellBox> boxes;
    double total = 0;
    for (int cw : widths)
        total += cw;
    if (total <= 0 || w <= 0 || h <= 0)
        return boxes;
    double sx = w / total;
    double sy = h / static_cast<double>(CDigiChar::HEIGHT);
    double x = 0;
    double y0 = 0;
    if (style & SegmentCtrl::STYLE_KEEP_ASPECT)
    {
        const double s = std::min(sx, sy);
        sx = sy = s;
        x = (w - s * total) / 2;
        y0 = (h - CDigiChar::HEIGHT * s) / 2;
    }
    boxes.reserve(widths.size());
    for (int cw : widths)
    {
        boxes.push_back({x, y0, x + cw * sx, y0 + CDigiChar::HEIGHT * sy});
        x += cw * sx;
    }
    return boxes;
}

QPoint MapDesignPoint(QPoint design, const CellBox& box, int cellWidth)
{
    const double cx = (box.right - box.left) / cellWidth;
    const double cy = (box.bottom - box.top) / CDigiChar::HEIGHT;
    return {static_cast<int>(design.x() * cx + box.left + 0.5),
            static_cast<int>(design.y() * cy + box.top + 0.5)};
}

ColorRef BlendOutline(ColorRef fill, ColorRef background)
{
    const auto mix = [](int f, int b) { return static_cast<int>(0.75 * f + 0.25 * b); };
    return MakeRgb(mix(RedOf(fill), RedOf(background)), mix(GreenOf(fill), GreenOf(background)),
                   mix(BlueOf(fill), BlueOf(background)));
}

namespace
{

// The curve over t from -1 to 1.
QPointF BezierAt(QPointF p0, QPointF c1, QPointF c2, QPointF p3, double t)
{
    const double u = (t + 1) / 2;
    const double v = 1 - u;
    return v * v * v * p0 + 3 * v * v * u * c1 + 3 * v * u * u * c2 + u * u * u * p3;
}

double Dist2(QPointF a, QPointF b)
{
    const QPointF d = a - b;
    return d.x() * d.x() + d.y() * d.y();
}

double NearestDist2(QPointF p0, QPointF c1, QPointF c2, QPointF p3, QPointF q)
{
    // Coarse scan, then a local search whose step halves down to 0.001.
    double bestT = -1;
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i <= 20; ++i)
    {
        const double t = std::min(-1 + i * 0.1, 1.0);
        const double d = Dist2(BezierAt(p0, c1, c2, p3, t), q);
        if (d < best)
        {
            best = d;
            bestT = t;
        }
    }
    double step = 0.05;
    for (int guard = 0; step >= 0.001 && guard < 1000; ++guard)
    {
        bool moved = false;
        for (double t : {bestT - step, bestT + step})
        {
            t = std::clamp(t, -1.0, 1.0);
            const double d = Dist2(BezierAt(p0, c1, c2, p3, t), q);
            if (d < best)
            {
                best = d;
                bestT = t;
                moved = true;
                break;
            }
        }
        if (!moved)
            step /= 2;
    }
    return best;
}

} // namespace

double BezierError(QPointF p0, QPointF c1, QPointF c2, QPointF p3, const std::vector<QPointF>& q)
{
    double sum = 0;
    for (const QPointF& p : q)
        sum += NearestDist2(p0, c1, c2, p3, p);
    return sum;
}

BezierFit FitBezier(QPointF p0, const std::vector<QPointF>& q, QPointF p3)
{
    if (q.empty())
        return {p0, p3};
    QPointF c1 = 2 * q.front() - p0;
    QPointF c2 = 2 * q.back() - p3;
    double error = BezierError(p0, c1, c2, p3, q);
    for (int pass = 0; pass < 2; ++pass)
    {
        for (int k = 0; k < 4; ++k)
        {
            QPointF& point = k < 2 ? c1 : c2;
            const QPointF anchor = k < 2 ? p0 : p3;
            const bool isX = k % 2 == 0;
            double f = 0.5;
            // Accepted moves grow geometrically and the error then rises, so this ends; the
            // count only guards against non-finite input.
            for (int guard = 0; std::abs(f) >= 0.01 && guard < 200; ++guard)
            {
                const QPointF old = point;
                if (isX)
                    point.setX(point.x() + f * (point.x() - anchor.x()));
                else
                    point.setY(point.y() + f * (point.y() - anchor.y()));
                const double e = BezierError(p0, c1, c2, p3, q);
                if (e < error)
                {
                    error = e;
                }
                else
                {
                    point = old;
                    f /= -3;
                }
            }
        }
    }
    return {c1, c2};
}

namespace
{

// Fits are unchanged by translation and scale with a uniform scale, so they are computed once
// per curve and aspect ratio in design units (y scaled by cy / cx) and scaled into the box.
using FitKey = std::tuple<std::vector<int>, double>;

BezierFit CachedFit(const std::vector<QPoint>& design, double ratio)
{
    static std::map<FitKey, BezierFit> cache;
    std::vector<int> key;
    key.reserve(design.size() * 2);
    for (const QPoint& p : design)
    {
        key.push_back(p.x());
        key.push_back(p.y());
    }
    FitKey k{std::move(key), ratio};
    auto it = cache.find(k);
    if (it != cache.end())
        return it->second;
    const auto norm = [ratio](QPoint p) { return QPointF(p.x(), p.y() * ratio); };
    std::vector<QPointF> q;
    for (std::size_t i = 1; i + 1 < design.size(); ++i)
        q.push_back(norm(design[i]));
    const BezierFit fit = FitBezier(norm(design.front()), q, norm(design.back()));
    if (cache.size() > 4096)
        cache.clear();
    cache.emplace(std::move(k), fit);
    return fit;
}

QPoint RoundPoint(QPointF p)
{
    return {static_cast<int>(std::floor(p.x() + 0.5)), static_cast<int>(std::floor(p.y() + 0.5))};
}

} // namespace

const std::vector<std::vector<PathOp>>& CDigiChar::DevicePaths(const CellBox& box) const
{
    if (m_cacheValid && m_cacheBox == box)
        return m_cache;
    m_cache.clear();
    const double cx = (box.right - box.left) / m_width;
    const double cy = (box.bottom - box.top) / HEIGHT;
    const double ratio = cx > 0 ? cy / cx : 0;
    for (const SegmentOutline& o : m_outlines)
    {
        std::vector<PathOp> ops;
        const std::size_t n = std::min(o.points.size(), o.types.size());
        for (std::size_t i = 0; i < n; ++i)
        {
            const QPoint dev = MapDesignPoint(o.points[i], box, m_width);
            if (o.types[i] == PT_BEZIERTO && i > 0)
            {
                // A run of curve points between the point before it and the one after it.
                std::size_t j = i;
                while (j < n && o.types[j] == PT_BEZIERTO)
                    ++j;
                if (j < n)
                {
                    std::vector<QPoint> design(o.points.begin() + static_cast<long>(i - 1),
                                               o.points.begin() + static_cast<long>(j + 1));
                    PathOp op;
                    op.type = PT_BEZIERTO;
                    if (cx > 0)
                    {
                        const BezierFit fit = CachedFit(design, ratio);
                        const auto toDevice = [&](QPointF p)
                        { return QPointF(box.left + p.x() * cx, box.top + p.y() * cx); };
                        op.pts[0] = RoundPoint(toDevice(fit.c1));
                        op.pts[1] = RoundPoint(toDevice(fit.c2));
                    }
                    else
                    {
                        op.pts[0] = op.pts[1] = MapDesignPoint(o.points[i - 1], box, m_width);
                    }
                    op.pts[2] = MapDesignPoint(o.points[j], box, m_width);
                    ops.push_back(op);
                    i = j; // the end point is consumed by the curve
                    continue;
                }
                // A run without an end point: its points are joined by lines.
            }
            PathOp op;
            op.type = o.types[i] == PT_MOVETO ? PT_MOVETO : PT_LINETO;
            op.pts[0] = dev;
            ops.push_back(op);
        }
        m_cache.push_back(std::move(ops));
    }
    m_cacheBox = box;
    m_cacheValid = true;
    return m_cache;
}

SegmentCtrl::SegmentCtrl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

SegmentCtrl::~SegmentCtrl() = default;

void SegmentCtrl::SetText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    m_rebuild = true;
    update();
}

void SegmentCtrl::SetColor(ColorRef off, ColorRef on)
{
    if (off == m_offColor && on == m_onColor)
        return;
    m_offColor = off;
    m_onColor = on;
    update();
}

void SegmentCtrl::SetBackColor(ColorRef c)
{
    if (c == m_bkColor)
        return;
    m_bkColor = c;
    update();
}

bool SegmentCtrl::ModifyDigiStyle(std::uint32_t remove, std::uint32_t add)
{
    if (remove & add)
        return false;
    m_style = (m_style | add) & ~remove;
    m_rebuild = true;
    update();
    return true;
}

std::unique_ptr<CDigiChar> SegmentCtrl::DefineChar(QChar c) const
{
    return MakeDigiChar(c, m_style);
}

void SegmentCtrl::BuildString()
{
    if (!m_rebuild)
        return;
    m_cells.clear();
    // Upper case character by character, so no character turns into several.
    for (QChar& c : m_text)
        c = c.toUpper();
    for (QChar c : std::as_const(m_text))
    {
        if (auto cell = DefineChar(c))
            m_cells.push_back(std::move(cell));
    }
    m_rebuild = false;
}

void SegmentCtrl::paintEvent(QPaintEvent*)
{
    DrawContext dc(this);
    Paint(dc);
}

void SegmentCtrl::Paint(DrawContext& dc)
{
    const Rect client = Rect::FromQRect(rect());
    dc.SetBkColor(m_bkColor);
    MemoryDC mem(dc, client);
    PaintDCGuard guard(mem);
    const Brush offBrush = Brush::Solid(m_offColor);
    const Brush onBrush = Brush::Solid(m_onColor);
    const Pen offPen = Pen::Solid(1, BlendOutline(m_offColor, m_bkColor));
    const Pen onPen = Pen::Solid(1, BlendOutline(m_onColor, m_bkColor));

    BuildString();
    std::vector<int> widths;
    widths.reserve(m_cells.size());
    for (const auto& cell : m_cells)
        widths.push_back(cell->GetWidth());
    const std::vector<CellBox> boxes =
        LayoutCells(widths, client.Width(), client.Height(), m_style);
    for (std::size_t i = 0; i < boxes.size(); ++i)
    {
        const CDigiChar& cell = *m_cells[i];
        const auto& paths = cell.DevicePaths(boxes[i]);
        for (std::size_t s = 0; s < paths.size(); ++s)
        {
            const bool lit = s < 16 && (cell.GetMask() >> s) & 1u;
            guard.SetBrush(lit ? onBrush : offBrush);
            guard.SetPen(lit ? onPen : offPen);
            mem.BeginPath();
            for (const PathOp& op : paths[s])
            {
                if (op.type == PT_MOVETO)
                    mem.MoveTo(op.pts[0]);
                else if (op.type == PT_LINETO)
                    mem.LineTo(op.pts[0]);
                else
                    mem.PolyBezierTo(op.pts, 3);
            }
            mem.CloseFigure();
            mem.EndPath();
            mem.StrokeAndFillPath();
        }
    }
}

} // namespace zef::Glimra

#include "controls/WindowSizer.h"

#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <cstdlib>
#include <vector>

namespace zef::Glimra
{

namespace
{

struct Entry
{
    QPointer<QWidget> window; // entries added by window; cleared when it is destroyed
    bool byWindow = false;
    int id = 0;
    int top = 0;
    int left = 0;
    int width = 0;
    int height = 0;
    Rect rect;
};

int Share(int rule, int delta)
{
    switch (rule)
    {
    case WindowSizer::RULE_HALF:
        return delta / 2;
    case WindowSizer::RULE_FULL:
        return delta;
    default:
        return 0;
    }
}

} // namespace

struct WindowSizer::Impl
{
    std::vector<Entry> entries;
    bool initialised = false;
    int minCx = 0;
    int minCy = 0;
    int maxCx = 0;
    int maxCy = 0;
    QPointer<QWidget> parent;
    Rect client;
};

QWidget* FindChildById(const QWidget* parent, int id)
{
    if (!parent)
        return nullptr;
    const auto children = parent->findChildren<QWidget*>();
    for (QWidget* w : children)
    {
        const QVariant v = w->property("controlId");
        if (v.isValid() && v.toInt() == id)
            return w;
    }
    return nullptr;
}

WindowSizer::WindowSizer() : m_impl(std::make_unique<Impl>()) {}

WindowSizer::~WindowSizer() = default;

bool WindowSizer::Init(QWidget* parent)
{
    if (!parent)
        return false;
    m_impl->entries.clear();
    m_impl->parent = parent;
    m_impl->client = Rect::FromQRect(parent->rect());
    m_impl->initialised = true;
    return true;
}

bool WindowSizer::AddChild(QWidget* child, enRule top, enRule left, enRule width, enRule height)
{
    if (!child)
        return false;
    Entry e{child, true, 0, top, left, width, height, Rect::FromQRect(child->geometry())};
    m_impl->entries.push_back(e);
    return true;
}

bool WindowSizer::AddChild(int id, enRule top, enRule left, enRule width, enRule height)
{
    QWidget* child = FindChildById(m_impl->parent, id);
    if (!child)
        return false;
    Entry e{nullptr, false, id, top, left, width, height, Rect::FromQRect(child->geometry())};
    m_impl->entries.push_back(e);
    return true;
}

void WindowSizer::RemoveChild(QWidget* child)
{
    if (!child)
        return;
    auto& v = m_impl->entries;
    for (auto it = v.begin(); it != v.end(); ++it)
    {
        if (it->byWindow && it->window == child)
        {
            v.erase(it);
            return;
        }
    }
}

void WindowSizer::RemoveChild(int id)
{
    if (id <= 0)
        return;
    auto& v = m_impl->entries;
    for (auto it = v.begin(); it != v.end(); ++it)
    {
        if (!it->byWindow && it->id == id)
        {
            v.erase(it);
            return;
        }
    }
}

void WindowSizer::SetMinimalSize(int cx, int cy)
{
    m_impl->minCx = cx;
    m_impl->minCy = cy;
}

void WindowSizer::SetMaximalSize(int cx, int cy)
{
    m_impl->maxCx = cx;
    m_impl->maxCy = cy;
}

void WindowSizer::SetMinimalSize(const QWidget& wnd)
{
    const QRect r = wnd.frameGeometry();
    SetMinimalSize(std::abs(r.width()), std::abs(r.height()));
}

void WindowSizer::SetMaximalSize(const QWidget& wnd)
{
    const QRect r = wnd.frameGeometry();
    SetMaximalSize(std::abs(r.width()), std::abs(r.height()));
}

Rect WindowSizer::Apply(const Rect& stored, int dx, int dy, int top, int left, int width,
                        int height)
{
    int x = stored.left;
    int y = stored.top;
    int w = stored.Width();
    int h = stored.Height();
    w += Share(width, dx);
    h += Share(height, dy);
    y += Share(top, dy);
    x += Share(left, dx);
    return {x, y, x + w, y + h};
}

void WindowSizer::OnSize(unsigned, int& cx, int& cy)
{
    QWidget* parent = m_impl->parent;
    if (!m_impl->initialised || !parent)
        return;
    const int dx = Delta(cx, m_impl->client.Width());
    const int dy = Delta(cy, m_impl->client.Height());
    for (const Entry& e : m_impl->entries)
    {
        const Rect r = Apply(e.rect, dx, dy, e.top, e.left, e.width, e.height);
        QWidget* w = e.byWindow ? e.window.data() : FindChildById(parent, e.id);
        if (w)
            w->setGeometry(r.ToQRect());
    }
    parent->repaint();
}

void WindowSizer::OnGetMinMaxInfo(MINMAXINFO* info) const
{
    if (!info || !m_impl->initialised)
        return;
    if (m_impl->minCx > 0)
        info->ptMinTrackSize.setX(m_impl->minCx);
    if (m_impl->minCy > 0)
        info->ptMinTrackSize.setY(m_impl->minCy);
    if (m_impl->maxCx > 0)
        info->ptMaxTrackSize.setX(m_impl->maxCx);
    if (m_impl->maxCy > 0)
        info->ptMaxTrackSize.setY(m_impl->maxCy);
}

bool WindowSizer::IsInitialised() const
{
    return m_impl->initialised;
}

int WindowSizer::GetChildCount() const
{
    return static_cast<int>(m_impl->entries.size());
}

} // namespace zef::Glimra

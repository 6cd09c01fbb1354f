#pragma once

// WindowSizer: keeps a resizable dialog's children in place. Each child is registered once
// with four rules saying how far its top and left edges move and how much its width and
// height grow when the client area gets larger than it was at Init. Children only ever grow
// from their initial layout; every relayout starts from the stored rectangles, so repeated
// resizing accumulates no rounding. Children added by id are found through the dynamic
// property "controlId" (FindChildById).

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"

#include <QPoint>

#include <memory>

class QWidget;

namespace zef::Glimra
{

// Window-size limits, outer window sizes.
struct GLIMRA_API MINMAXINFO
{
    QPoint ptReserved;
    QPoint ptMaxSize;
    QPoint ptMaxPosition;
    QPoint ptMinTrackSize;
    QPoint ptMaxTrackSize;
};

// The first descendant of parent whose "controlId" property is id, or nullptr.
GLIMRA_API QWidget* FindChildById(const QWidget* parent, int id);

class GLIMRA_API WindowSizer
{
public:
    enum enRule
    {
        RULE_NONE = 0, // no change
        RULE_HALF = 1, // half of the change
        RULE_FULL = 2, // the whole change
    };

    WindowSizer();
    virtual ~WindowSizer();
    WindowSizer(const WindowSizer&) = delete;
    WindowSizer& operator=(const WindowSizer&) = delete;

    bool Init(QWidget* parent);
    bool AddChild(QWidget* child, enRule top, enRule left, enRule width, enRule height);
    bool AddChild(int id, enRule top, enRule left, enRule width, enRule height);
    void RemoveChild(QWidget* child);
    void RemoveChild(int id);
    void SetMinimalSize(int cx, int cy);
    void SetMaximalSize(int cx, int cy);
    void SetMinimalSize(const QWidget& wnd); // wnd's current outer size
    void SetMaximalSize(const QWidget& wnd);
    void OnSize(unsigned type, int& cx, int& cy);
    void OnGetMinMaxInfo(MINMAXINFO* info) const;

    bool IsInitialised() const;
    int GetChildCount() const;

    // Extra size for a new client size: the growth over the initial size, never negative.
    static int Delta(int newSize, int initialSize)
    {
        return newSize >= initialSize ? newSize - initialSize : 0;
    }
    // A child's rectangle for the extra size (dx, dy); rules other than 1 and 2 act as 0.
    static Rect Apply(const Rect& stored, int dx, int dy, int top, int left, int width, int height);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zef::Glimra

#pragma once

// ListBoxCtrl: a list box that keeps its horizontal scrolling extent equal to the width of
// its widest item, so long lines can be scrolled into view. Items go through the list-box
// operations below; each runs the default processing (the protected Default* functions) and
// then adjusts the extent, passing the default result back unchanged.

#include "controls/GlimraExport.h"

#include <QListWidget>

namespace zef::Glimra
{

class GLIMRA_API ListBoxCtrl : public QListWidget
{
    Q_OBJECT
public:
    static constexpr int LB_ERR = -1;
    static constexpr int LB_ERRSPACE = -2;

    explicit ListBoxCtrl(QWidget* parent = nullptr);
    ~ListBoxCtrl() override;

    int AddString(const QString& text);               // index of the new item
    int InsertString(int index, const QString& text); // -1 appends
    int DeleteString(int index);                      // remaining count
    int Dir(const QStringList& names);                // adds names; index of the last
    void ResetContent();

    int GetHorizontalExtent() const { return m_extent; }
    void SetHorizontalExtent(int extent);
    void SetUseTabStops(bool on) { m_tabStops = on; }
    bool UsesTabStops() const { return m_tabStops; }
    int GetTextWidth(const QString& text) const;

protected:
    virtual int DefaultAddString(const QString& text);
    virtual int DefaultInsertString(int index, const QString& text);
    virtual int DefaultDeleteString(int index);
    virtual int DefaultDir(const QStringList& names);
    void updateGeometries() override;

private:
    void Recalculate();

    int m_extent = 0;
    bool m_tabStops = false;
};

} // namespace zef::Glimra

#pragma once

#include "app/DialogBase.h"
#include "app/SwitchCallBack.h"
#include "app/core/SegmentFormat.h"
#include "controls/WindowSizer.h"

#include <QIcon>

#include <array>
#include <memory>

namespace zef
{
class IniFile;
}
namespace zef::Glimra
{
class SegmentCtrl;
}

namespace App
{
class OutputPanel;

// "Digital Absolute Angular Encoder Visualisation" (template 136): each sample on two
// segment displays, each with its own SegmentFormat (by default the turn count above and the
// singleturn position below), and the output panel. A click on a display opens the format
// dialog for it. Modeless and hidden when created; closing it only hides it.
class VisualizeSegmentDlg : public DialogBase
{
    Q_OBJECT

public:
    enum Display
    {
        UPPER = 0,
        LOWER = 1,
    };

    // Colours, titles and logo come from `ini` (the application INI file when null). With
    // a parent it is that window's own top-level window: usable while the parent runs modal,
    // and kept in front of it.
    explicit VisualizeSegmentDlg(const zef::IniFile* ini = nullptr, QWidget* parent = nullptr);
    ~VisualizeSegmentDlg() override;

    // Replaces (and deletes) the callback held before.
    void SetCallBack(std::unique_ptr<SwitchCallBack> callBack);
    void ShowOutputMode(int index, int mode);

    // The last sample, which UpdateDisplays shows.
    void SetLastSample(unsigned stBits, unsigned mtBits, unsigned st, unsigned mt);
    // Formats the last sample for both displays; a display repaints only when its text
    // changes.
    void UpdateDisplays();
    // Runs the format dialog for a display; on OK takes its format and updates.
    void RunFormatDialog(Display display);

    SegmentFormat& GetFormat(Display display) { return m_Formats[display]; }
    zef::Glimra::SegmentCtrl& GetDisplay(Display display) const { return *m_Displays[display]; }
    OutputPanel& GetPanel() const { return *m_Panel; }
    unsigned GetStBits() const { return m_StBits; }
    unsigned GetMtBits() const { return m_MtBits; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<zef::Glimra::SegmentCtrl*, 2> m_Displays{};
    std::array<SegmentFormat, 2> m_Formats{};
    OutputPanel* m_Panel = nullptr;
    QIcon m_Icon;
    zef::Glimra::WindowSizer m_Sizer;
    unsigned m_StBits = 12;
    unsigned m_MtBits = 12;
    unsigned m_St = 0;
    unsigned m_Mt = 0;
};

} // namespace App

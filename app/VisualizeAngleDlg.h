#pragma once

#include "app/DialogBase.h"
#include "app/SwitchCallBack.h"
#include "controls/WindowSizer.h"

#include <QIcon>

#include <memory>

namespace zef
{
class IniFile;
}
namespace zef::Glimra
{
class RotationAngleCtrl;
class SegmentCtrl;
} // namespace zef::Glimra

namespace App
{
class OutputPanel;

// "Absolute Angular Encoder Visualisation" (template 135): the singleturn position as a
// pointer on a dial (0 at 3 o'clock, turning clockwise), the turn count on a segment display,
// and the output panel. Modeless and hidden when created; closing it only hides it.
class VisualizeAngleDlg : public DialogBase
{
    Q_OBJECT

public:
    // Colours, titles and logo come from `ini` (the application INI file when null). With
    // a parent it is that window's own top-level window: usable while the parent runs modal,
    // and kept in front of it.
    explicit VisualizeAngleDlg(const zef::IniFile* ini = nullptr, QWidget* parent = nullptr);
    ~VisualizeAngleDlg() override;

    // Replaces (and deletes) the callback held before.
    void SetCallBack(std::unique_ptr<SwitchCallBack> callBack);
    void ShowOutputMode(int index, int mode);
    // One sample: the dial turns to st of stBits bits, the display shows mt as "%04u".
    void ShowSample(unsigned stBits, unsigned st, unsigned mt);

    zef::Glimra::RotationAngleCtrl& GetDial() const { return *m_Dial; }
    zef::Glimra::SegmentCtrl& GetTurnDisplay() const { return *m_TurnDisplay; }
    OutputPanel& GetPanel() const { return *m_Panel; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    zef::Glimra::SegmentCtrl* m_TurnDisplay = nullptr;
    zef::Glimra::RotationAngleCtrl* m_Dial = nullptr;
    OutputPanel* m_Panel = nullptr;
    QIcon m_Icon;
    zef::Glimra::WindowSizer m_Sizer;
};

} // namespace App

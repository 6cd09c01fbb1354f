#pragma once

#include "app/SwitchCallBack.h"
#include "app/core/VisualizeSettings.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QWidget;

namespace zef::Glimra
{
class BmpCtrl;
class WindowSizer;
} // namespace zef::Glimra

namespace App
{
class CLabel;

// The right-hand side of both visualisation dialogs: three groups "Output 1" to "Output 3"
// with the clickable labels LOW, OFF and HIGH, and the logo area (built-in logo 1150 or a
// configured bitmap 1151). A click colours the group at once and then asks the callback to
// switch that output; whether the switch succeeds is the main window's report.
class OutputPanel : public QObject
{
    Q_OBJECT

public:
    // Places a control of the dialog in dialog units and registers its id.
    using PlaceFunction = std::function<void(QWidget* widget, int id, int x, int y, int w, int h)>;

    // Builds the controls on `dialog` through `place`.
    OutputPanel(QWidget* dialog, const PlaceFunction& place);
    ~OutputPanel() override;

    // Switch colours, group titles and logo from the settings.
    void Apply(const VisualizeSettings& settings);
    // Every control of the panel: moves right with the window, the labels and groups also
    // down by half the height change.
    void AddToSizer(zef::Glimra::WindowSizer& sizer) const;

    // Replaces (and deletes) the callback held before.
    void SetCallBack(std::unique_ptr<SwitchCallBack> callBack);
    // Gives output `index` (0 to 2) its current OUTPUT_MODE: that label the switch-on
    // colour, the two others the switch-off colour. Other indexes are ignored.
    void ShowOutputMode(int index, int mode);
    // What a click on label `id` does.
    void OnLabelClicked(int id);

    CLabel* GetLabel(int id) const;
    unsigned GetSwitchOnColor() const { return m_SwitchOn; }
    unsigned GetSwitchOffColor() const { return m_SwitchOff; }

    // The OUTPUT_MODE of label k (0, 1, 2: LOW, OFF, HIGH) of a group.
    static int LabelMode(int k);

private:
    std::unique_ptr<SwitchCallBack> m_CallBack;
    std::array<CLabel*, 9> m_Labels{};
    std::array<QGroupBox*, 3> m_Groups{};
    QLabel* m_BuiltInLogo = nullptr;
    zef::Glimra::BmpCtrl* m_Logo = nullptr;
    unsigned m_SwitchOn = 0;
    unsigned m_SwitchOff = 0;
};

} // namespace App

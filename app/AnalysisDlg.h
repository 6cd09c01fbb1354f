#pragma once

#include "app/DialogBase.h"
#include "app/core/RunAnalysis.h"
#include "controls/MinMaxPyramid.h"

#include <memory>
#include <span>

class QComboBox;
class QTableView;
class QTableWidget;

namespace zef::Glimra
{
class RunPlotCtrl;
}

namespace App
{

// The "Analysis" view of a checked run: the root cause and the run's figures, the position
// and the step between readings plotted over the whole run on one shared x range, the
// per-class table and the event list; choosing an event shows it in both plots.
class CAnalysisDlg : public DialogBase
{
    Q_OBJECT

public:
    enum Position
    {
        POSITION_WHOLE,
        POSITION_ST,
        POSITION_MT,
    };

    // `readings` is borrowed and must stay unchanged while the view lives.
    CAnalysisDlg(std::span<const unsigned> readings, Analysis analysis, AnalysisConfig config,
                 QWidget* parent = nullptr);
    ~CAnalysisDlg() override;

    void ChoosePosition(Position position);
    // Shows the event with this index into Analysis::events in both plots.
    void ChooseEvent(std::size_t event);

    const Analysis& GetAnalysis() const { return m_Analysis; }
    zef::Glimra::RunPlotCtrl& PositionPlot() const { return *m_PositionPlot; }
    zef::Glimra::RunPlotCtrl& StepPlot() const { return *m_StepPlot; }

private:
    void FillClasses();
    QString FiguresText() const;

    std::span<const unsigned> m_Readings;
    Analysis m_Analysis;
    AnalysisConfig m_Config;
    std::unique_ptr<zef::Glimra::MinMaxPyramid> m_Data;
    QComboBox* m_Position = nullptr;
    zef::Glimra::RunPlotCtrl* m_PositionPlot = nullptr;
    zef::Glimra::RunPlotCtrl* m_StepPlot = nullptr;
    QTableWidget* m_Classes = nullptr;
    QTableView* m_Events = nullptr;
};

} // namespace App

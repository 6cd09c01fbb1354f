#pragma once

#include "app/DialogBase.h"
#include "app/core/RunAnalysis.h"
#include "controls/MinMaxPyramid.h"

#include <memory>
#include <span>

class QComboBox;
class QTableView;
class QTableWidget;
class QToolButton;

namespace zef::Glimra
{
class RunPlotCtrl;
}

namespace App
{

// The "Analysis" view of a checked run: the root cause and the run's figures, the position
// and the step between readings plotted over the whole run on one shared x range, the
// per-class table and the event list; choosing an event (or a class: its first event) shows
// it in both plots. The plots' y axes leave out the readings of spikes and of all-ones or
// all-zeros events unless "Full range" is on.
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
    // Shows the first event of the class.
    void ChooseClass(EventClass cls);

    const Analysis& GetAnalysis() const { return m_Analysis; }
    zef::Glimra::RunPlotCtrl& PositionPlot() const { return *m_PositionPlot; }
    zef::Glimra::RunPlotCtrl& StepPlot() const { return *m_StepPlot; }
    const zef::Glimra::MinMaxPyramid& PlotData() const { return *m_Data; }
    QTableWidget& ClassTable() const { return *m_Classes; }
    QTableView& EventList() const { return *m_Events; }
    QToolButton& FullRangeButton() const { return *m_FullRange; }

    // The figures line, e.g. "16,777,214 readings every 50 µs (838.9 s), 8,192 distinct;
    // ST: 10,321.9 counts/s, 75.6 rpm, 1 turn; MT: 1.3 counts/s, 0 turns".
    static QString FiguresText(const Analysis& analysis, const AnalysisConfig& config);

private:
    void FillClasses();

    std::span<const unsigned> m_Readings;
    Analysis m_Analysis;
    AnalysisConfig m_Config;
    std::unique_ptr<zef::Glimra::MinMaxPyramid> m_Data;
    QComboBox* m_Position = nullptr;
    QToolButton* m_FullRange = nullptr;
    zef::Glimra::RunPlotCtrl* m_PositionPlot = nullptr;
    zef::Glimra::RunPlotCtrl* m_StepPlot = nullptr;
    QTableWidget* m_Classes = nullptr;
    QTableView* m_Events = nullptr;
};

} // namespace App

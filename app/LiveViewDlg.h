#pragma once

#include "app/core/LiveView.h"

#include <QTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QSpinBox;

namespace zef::Glimra
{
class StaticHistogramCtrl;
}

namespace App
{
class LiveChart;
class LiveSpeedPlot;

// "Live View": the box streams at a chosen delay while the window is open; a strip chart of
// the position, the speed and acceleration, and the jitter of the last readings with its
// histogram. A child window of the main window (usable while that runs modal); closing it
// stops the stream and gives the box its own settings back. Each control turns into one
// call on the LiveView session; the timer polls it and repaints.
class LiveViewDlg : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMinRepaints = 25;
    static constexpr int kMaxRepaints = 60;

    LiveViewDlg(Tavik::Box& box, HistorySink& sink, const FTD2xx::Clock& clock,
                QWidget* parent = nullptr);
    ~LiveViewDlg() override;

    // Starts the stream with the box's bit counts; false when the box refused (the history
    // says why).
    bool Start(unsigned stBits, unsigned mtBits);
    // Ends the stream (the box gets its settings back); the window keeps what it shows.
    void Stop();
    bool IsStreaming() const { return m_View.IsStreaming(); }
    // One timer tick: drains the stream and repaints.
    void Tick();

    LiveView& Session() { return m_View; }
    LiveChart& Chart() const { return *m_Chart; }
    LiveSpeedPlot& SpeedPlot() const { return *m_Speed; }
    zef::Glimra::StaticHistogramCtrl& Histogram() const { return *m_Histogram; }
    QPushButton* PauseButton() const { return m_Pause; }
    QPushButton* ClearButton() const { return m_Clear; }
    QPushButton* ResetDragButton() const { return m_ResetDrag; }
    QScrollBar* ScrollBar() const { return m_Scroll; }
    QComboBox* PartList() const { return m_PartList; }
    QSpinBox* RepaintsBox() const { return m_Repaints; }
    QSpinBox* SecondsBox() const { return m_Seconds; }
    QSpinBox* DelayBox() const { return m_Delay; }
    QSpinBox* LimitBox() const { return m_Limit; }
    QSpinBox* JitterBox() const { return m_JitterCount; }
    QLabel* FiguresLabel() const { return m_Figures; }
    QLabel* StatusLabel() const { return m_Status; }
    QTimer& Timer() { return m_Timer; }

signals:
    // The stream ended by the window (closed, or a failure): the main window takes the box
    // back.
    void Stopped();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnPause();
    void OnClear();
    // A new ring size or delay: the stream starts again with it.
    void OnStreamSettings();
    void Render();
    void RenderScrollBar();

    LiveView m_View;
    LiveView::Settings m_Settings;
    QTimer m_Timer;
    LiveChart* m_Chart = nullptr;
    LiveSpeedPlot* m_Speed = nullptr;
    zef::Glimra::StaticHistogramCtrl* m_Histogram = nullptr;
    QComboBox* m_PartList = nullptr;
    QSpinBox* m_Repaints = nullptr;
    QSpinBox* m_Seconds = nullptr;
    QSpinBox* m_Delay = nullptr; // its lowest value reads "smallest": the clock's minimum
    QSpinBox* m_Limit = nullptr;
    QSpinBox* m_JitterCount = nullptr;
    QPushButton* m_Pause = nullptr;
    QPushButton* m_Clear = nullptr;
    QPushButton* m_ResetDrag = nullptr;
    QScrollBar* m_Scroll = nullptr;
    QLabel* m_Memory = nullptr;
    QLabel* m_Status = nullptr;
    QLabel* m_Figures = nullptr;
    QLabel* m_HistogramAxis = nullptr;
    bool m_Scrolling = false; // the scroll bar is being set, not moved by the user
};

} // namespace App

#pragma once

// Runs the real main dialog against simulated boxes on a manual clock: no real waits. The
// dialog is shown application-modal, as exec() runs it, and takes its input through the
// window system (tests/support/WindowInput.h).

#include "app/HistoryList.h"
#include "app/TavikDlg.h"
#include "base/IniFile.h"
#include "driver/Box.h"
#include "link/Clock.h"
#include "link/Proxy.h"
#include "link/SimulatorProvider.h"
#include "tests/support/WindowInput.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace App;

class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Tavik::Box::SetSleepFunction([](unsigned) {});
        UseBoxes(1);
        ASSERT_TRUE(m_Ini.OpenEmpty().IsOk());
    }

    void TearDown() override
    {
        m_Dlg.reset();
        FTD2xx::Proxy::UseDefaultProviders();
        Tavik::Box::SetSleepFunction({});
    }

    void UseBoxes(unsigned count)
    {
        FTD2xx::SimulatorConfig config;
        config.boxes = count;
        config.encoder.rpm = 0; // a still encoder: readings are repeatable
        m_Sim = std::make_shared<FTD2xx::SimulatorProvider>(config, m_Clock);
        FTD2xx::Proxy::SetProviders({m_Sim});
    }

    // The INI file the dialog reads, written to the scratch working directory.
    void WriteIni(const std::string& content)
    {
        std::ofstream(m_IniName) << content;
        ASSERT_TRUE(m_Ini.Open(m_IniName.c_str()).IsOk());
    }

    CTavikDlg& Dlg()
    {
        if (!m_Dlg)
        {
            m_Dlg = std::make_unique<CTavikDlg>(nullptr, &m_Ini);
            m_Dlg->SetClock(m_Clock); // batch runs time themselves on the simulator's clock
            // No spool unless a test gives one: the user's own records stay untouched.
            m_Dlg->SetDataFolder(m_DataFolder);
            m_Dlg->setWindowModality(Qt::ApplicationModal);
            EXPECT_TRUE(WindowInput::Show(m_Dlg.get()));
        }
        return *m_Dlg;
    }

    std::vector<std::string> History() const
    {
        std::vector<std::string> lines;
        if (!m_Dlg)
            return lines;
        const CHistoryList& list = m_Dlg->GetHistory();
        for (int i = 0; i < list.GetCount(); ++i)
            lines.push_back(list.GetLine(i).toStdString());
        return lines;
    }
    // History lines added since the last call.
    std::vector<std::string> NewLines()
    {
        std::vector<std::string> all = History();
        std::vector<std::string> fresh(all.begin() + std::min(m_Seen, all.size()), all.end());
        m_Seen = all.size();
        return fresh;
    }

    FTD2xx::SimulatedBox& SimBox(std::size_t i = 0) { return *m_Sim->GetBox(i); }

    template <class T> T* Item(int id) { return Dlg().Item<T>(id); }
    // A control of the main window, used through its window.
    void Click(int id) { WindowInput::Click(Dlg().GetDlgItem(id)); }
    void Choose(int id, unsigned data) { WindowInput::Choose(Item<QComboBox>(id), data); }
    // Types into an edit and leaves it with Tab, which commits it.
    void Type(int id, const char* text) { WindowInput::Type(Item<QLineEdit>(id), text); }
    void Menu(int command) { WindowInput::ChooseMenu(&Dlg(), Dlg().GetMenuAction(command)); }

    // Powers box i from outside the dialog, as if it had been left on.
    void PowerBoxFromOutside(int index, Tavik::Box::POWER_MODE mode)
    {
        Tavik::Box box;
        ASSERT_EQ(box.Open(index), Tavik::Box::OK);
        ASSERT_EQ(box.SetPowerMode(mode), Tavik::Box::OK);
    }

    FTD2xx::ManualClock m_Clock;
    std::shared_ptr<FTD2xx::SimulatorProvider> m_Sim;
    zef::IniFile m_Ini;
    // One name per process: ctest runs test cases side by side in the same directory.
    const std::string m_IniName = "DialogTest-" + std::to_string(::getpid()) + ".ini";
    std::unique_ptr<CTavikDlg> m_Dlg;
    std::size_t m_Seen = 0;
    std::string m_DataFolder;
};

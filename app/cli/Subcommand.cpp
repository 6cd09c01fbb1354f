#include "app/cli/Subcommand.h"

#include "app/core/HistorySink.h"
#include "app/core/Reconnector.h"
#include "base/Support.h"

#include <algorithm>
#include <cctype>
#include <ostream>

namespace App::Cli
{

using Tavik::Box;

namespace
{
bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y)
                      { return std::tolower((unsigned char)x) == std::tolower((unsigned char)y); });
}
} // namespace

void SleepClock::SleepUntil(TimePoint t)
{
    if (t <= m_Now)
        return;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - m_Now);
    if (m_Sleep)
        m_Sleep(unsigned(ms.count()));
    m_Now += ms;
}

Subcommand::Subcommand(const GlobalOptions& global, CliEnvironment& env)
    : m_Global(global), m_Env(env), m_Clock(env.sleep),
      m_Sink(env.out, env.err, global.quiet || global.json), m_Session(m_Box, m_Sink, m_Ini)
{
    m_Session.SetClock(m_Clock);
    // A run that does not reconnect ends on an unplug (read --reconnect waits).
    m_Session.SetWaitForReturn(false);
    // As the window does: a missing INI file is an empty one; a broken one is not used,
    // logged to error_opening_inifile.log and named on stderr, and the run goes on with
    // the built-in values.
    zef::Support::LoadAppIni(m_Ini, env.iniFile.c_str());
    if (const std::string problem = BoxSession::IniProblem(m_Ini); !problem.empty())
        for (const std::string& line : SplitHistoryLines("Error: " + problem))
            m_Env.err << line << '\n';
}

std::string Subcommand::Description(const BoxView::Device& device) const
{
    std::string serial;
    std::string description;
    m_Box.GetDeviceInformation(device.index, serial, description);
    return description;
}

std::vector<BoxView::Device> Subcommand::InLinkOrder() const
{
    std::vector<BoxView::Device> devices = m_Session.View().devices;
    std::sort(devices.begin(), devices.end(),
              [](const BoxView::Device& a, const BoxView::Device& b) { return a.index < b.index; });
    return devices;
}

json Subcommand::History() const
{
    return json{{"history", m_Sink.Lines()}, {"errors", m_Sink.Errors()}};
}

void Subcommand::PrintJson(json document)
{
    document.update(History());
    m_Env.out << document.dump(2) << '\n';
}

std::string Subcommand::WantedSerial() const
{
    if (!m_Global.device.empty())
        return m_Global.device;
    zef::String configured;
    if (m_Ini.GetString("Default", "UsbDevice", configured))
        return configured.GetStdString();
    return {};
}

namespace
{
std::string Seconds(double seconds)
{
    std::string text = std::to_string(seconds);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text + " s";
}
} // namespace

int Subcommand::WaitForBox()
{
    const std::string serial = WantedSerial();
    const std::string name = serial.empty() ? "box" : "box " + serial;
    const auto start = m_Clock.Now();
    const auto limit = std::chrono::duration<double>(m_Global.waitSeconds.value_or(0));
    bool said = false;
    // The list's serial numbers are compared as typed: UsbDevice ignores case elsewhere, so
    // here too.
    const auto listed = [&]
    {
        unsigned long count = 0;
        if (m_Box.GetConnectedDevices(count) != Box::OK)
            return false;
        for (unsigned long index = 0; index < count; ++index)
        {
            std::string s;
            std::string description;
            if (m_Box.GetDeviceInformation(int(index), s, description) == Box::OK &&
                (serial.empty() || EqualsIgnoringCase(s, serial)))
                return true;
        }
        return false;
    };
    while (!listed())
    {
        if (Interrupted())
            return EXIT_INTERRUPT;
        if (m_Global.waitSeconds && m_Clock.Now() - start >= limit)
        {
            m_Sink.Error("No " + name + " appeared within " + Seconds(*m_Global.waitSeconds) + ".");
            return EXIT_BOX;
        }
        if (!said)
            m_Env.err << "Waiting for " << (serial.empty() ? "a box" : name) << "...\n";
        said = true;
        m_Clock.SleepFor(Reconnector::kPollInterval);
    }
    return EXIT_OK;
}

bool Subcommand::WaitForReturn()
{
    const auto start = m_Clock.Now();
    const auto limit = std::chrono::duration<double>(m_Global.waitSeconds.value_or(0));
    while (m_Session.View().state == GS_WAITING)
    {
        const std::string serial = m_Session.View().waitingFor;
        if (Interrupted())
            return false;
        if (m_Global.waitSeconds && m_Clock.Now() - start >= limit)
        {
            m_Sink.Error("Box " + serial + " did not return within " +
                         Seconds(*m_Global.waitSeconds) + ".");
            return false;
        }
        m_Clock.SleepFor(Reconnector::kPollInterval);
        if (m_Session.Reconnect() && m_Session.View().state != GS_WAITING)
        {
            m_Env.err << "Box " << serial << " is back; its settings are restored.\n";
            return true;
        }
    }
    return m_Box.IsOpen();
}

int Subcommand::Connect()
{
    m_Session.EnterState(GS_INIT);
    if (!m_Session.ScanDevices())
        return EXIT_BOX;
    const auto& devices = m_Session.View().devices;
    auto listing = [&]
    {
        std::string text;
        for (const BoxView::Device& device : InLinkOrder())
            text += "\n    " + device.serial + "  " + Description(device);
        return text;
    };
    zef::String configured;
    if (!m_Global.device.empty())
    {
        const auto found = std::find_if(devices.begin(), devices.end(),
                                        [&](const BoxView::Device& d)
                                        { return EqualsIgnoringCase(d.serial, m_Global.device); });
        if (found == devices.end())
        {
            m_Sink.Error("Device '" + m_Global.device + "' was not detected." +
                         (devices.empty() ? std::string() : "\nAttached:" + listing()));
            return EXIT_BOX;
        }
        m_Session.SelectDevice(int(found - devices.begin()));
    }
    else if (m_Ini.GetString("Default", "UsbDevice", configured) && !configured.IsEmpty())
    {
        if (!m_Session.PreselectConfigured())
            return EXIT_BOX;
    }
    else if (devices.empty())
    {
        m_Sink.Error("No box is attached.");
        return EXIT_BOX;
    }
    else if (devices.size() > 1)
    {
        m_Env.err << "Error: " << devices.size()
                  << " boxes are attached; choose one with -d SERIAL or with UsbDevice in "
                     "chapter [Default] of Tavik.ini:"
                  << listing() << '\n'
                  << UsageLine() << '\n';
        return EXIT_USAGE;
    }
    const Outcome connected = m_Session.ConnectOrDisconnect();
    return m_Box.IsOpen() && connected ? EXIT_OK : EXIT_BOX;
}

bool Subcommand::PollUntilDone(const Polled& engine)
{
    while (engine.running())
    {
        if (engine.progress)
            engine.progress();
        if (engine.streaming())
            Sleep(kPollMs);
        if (Interrupted())
        {
            // Stopped on the box; what arrived is kept.
            engine.stop();
            return true;
        }
        engine.poll();
    }
    return false;
}

int Subcommand::PowerOn()
{
    if (m_Session.View().state == GS_CONNECTED)
        m_Session.TogglePower();
    return m_Session.View().state == GS_POWERED ? EXIT_OK : EXIT_BOX;
}

} // namespace App::Cli

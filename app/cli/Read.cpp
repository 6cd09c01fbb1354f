#include "app/cli/Subcommand.h"

#include "app/core/Formats.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <ostream>

namespace App::Cli
{

namespace
{
struct ReadOptions
{
    std::optional<unsigned> count;
    std::optional<unsigned> interval;
    bool reconnect = false;
};

class Read : public SubcommandWith<ReadOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    int Execute() override;
};

int Read::Execute()
{
    // Without --count: one reading, or one every interval until Ctrl-C when it is given.
    const bool endless = !m_Options.count && m_Options.interval;
    const unsigned count = m_Options.count.value_or(1);
    const unsigned interval = m_Options.interval.value_or(50);
    json readings = json::array();
    int code = EXIT_OK;
    // An unplug under --reconnect: one line on stderr (the session's error line), the wait,
    // one line when the box is back; the reading that failed is taken again.
    m_Session.SetWaitForReturn(m_Options.reconnect);
    for (unsigned n = 0; endless || n < count;)
    {
        if (n != 0)
            Sleep(interval);
        if (Interrupted())
        {
            code = EXIT_INTERRUPT;
            break;
        }
        const std::optional<unsigned> value = m_Session.SingleSample().value;
        if (!value && m_Session.View().state == GS_WAITING)
        {
            if (WaitForReturn())
                continue;
            code = Interrupted() ? EXIT_INTERRUPT : EXIT_BOX;
            break;
        }
        if (!value)
        {
            code = EXIT_BOX;
            break;
        }
        ++n;
        const SampleParts parts = m_Session.Split(*value);
        if (m_Global.json)
            readings.push_back({{"raw", *value}, {"st", parts.st}, {"mt", parts.mt}});
        else
            m_Env.out << (m_Session.View().hex ? FormatHex8(*value) : std::to_string(*value)) << ' '
                      << parts.stText << ' ' << parts.mtText << std::endl;
    }
    if (m_Global.json)
        PrintJson({{"stBits", m_Session.View().stBits},
                   {"mtBits", m_Session.View().mtBits},
                   {"readings", readings}});
    return code;
}
} // namespace

Factory DeclareRead(CLI::App& sub)
{
    auto o = std::make_shared<ReadOptions>();
    sub.add_option("--count", o->count, "readings to take")->check(CLI::PositiveNumber);
    sub.add_option("--interval", o->interval, "milliseconds between readings (default 50)");
    sub.add_flag("--reconnect", o->reconnect,
                 "survive an unplug: wait for the box to return, restore its settings, go on");
    return Make<Read>(o);
}

} // namespace App::Cli

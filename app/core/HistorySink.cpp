#include "app/core/HistorySink.h"

namespace App
{

std::vector<std::string> SplitHistoryLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string current;
    bool pendingBreak = false;
    const auto emit = [&]
    {
        lines.push_back(lines.empty() ? current : "    " + current);
        current.clear();
    };
    for (const char ch : text)
    {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n' || c == '\r')
        {
            pendingBreak = true;
            continue;
        }
        if (pendingBreak)
        {
            emit();
            pendingBreak = false;
        }
        const bool printable = c >= 0x20 && c < 0x7F;
        current.push_back(printable ? ch : ' ');
    }
    emit();
    return lines;
}

void VectorSink::AddEntries(const std::vector<std::string>& entries, Kind kind)
{
    for (const std::string& text : entries)
        m_Entries.push_back({text, kind});
}

std::vector<std::string> VectorSink::Texts() const
{
    std::vector<std::string> texts;
    texts.reserve(m_Entries.size());
    for (const Entry& e : m_Entries)
        texts.push_back(e.text);
    return texts;
}

std::vector<std::string> VectorSink::TakeNew()
{
    std::vector<std::string> fresh;
    for (; m_Taken < m_Entries.size(); ++m_Taken)
        fresh.push_back(m_Entries[m_Taken].text);
    return fresh;
}

} // namespace App

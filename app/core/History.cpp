#include "app/core/History.h"

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

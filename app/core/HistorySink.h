#pragma once

#include <string>
#include <vector>

namespace App
{

// Splits a history message into its display lines: line feeds and carriage returns break
// lines (several in a row count as one, a trailing break adds nothing), other control
// characters and bytes from 0x80 up become one blank each, and every line after the first
// is indented by four blanks. An empty text gives one empty line.
std::vector<std::string> SplitHistoryLines(const std::string& text);

// Where core code reports what it did: history lines for what succeeded, error lines for
// what failed. The splitting into entries and the "Error: " prefix are applied here, once;
// a sink only stores or shows the finished entries.
class HistorySink
{
public:
    enum Kind
    {
        HISTORY_LINE,
        HISTORY_ERROR,
    };

    virtual ~HistorySink() = default;

    void Line(const std::string& text) { AddEntries(SplitHistoryLines(text), HISTORY_LINE); }
    void Error(const std::string& text)
    {
        AddEntries(SplitHistoryLines("Error: " + text), HISTORY_ERROR);
    }

protected:
    // The display lines of one message, in order.
    virtual void AddEntries(const std::vector<std::string>& entries, Kind kind) = 0;
};

// Keeps every entry; for tests and for programs that print the history at the end.
class VectorSink : public HistorySink
{
public:
    struct Entry
    {
        std::string text;
        Kind kind;
    };
    const std::vector<Entry>& Entries() const { return m_Entries; }
    // The entries' texts, and those added since the last call of TakeNew.
    std::vector<std::string> Texts() const;
    std::vector<std::string> TakeNew();

protected:
    void AddEntries(const std::vector<std::string>& entries, Kind kind) override;

private:
    std::vector<Entry> m_Entries;
    std::size_t m_Taken = 0;
};

} // namespace App

#include "app/core/Report.h"

#include "app/core/CodeTester.h"
#include "app/core/RunFile.h"
#include "app/core/StoreRecord.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace App
{

namespace
{
using json = nlohmann::json;
namespace fs = std::filesystem;

constexpr int kPlotWidth = 720; // pixel columns of the plot area
constexpr int kPlotHeight = 220;
constexpr int kLeft = 96, kTop = 14, kBottom = 34, kRight = 40;

std::string Escape(const std::string& text)
{
    std::string out;
    for (const char c : text)
    {
        switch (c)
        {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Str(const json& parent, const char* key)
{
    const auto it = parent.find(key);
    if (it == parent.end() || it->is_null())
        return {};
    return it->is_string() ? it->get<std::string>() : it->dump();
}

std::string NumberText(const json& parent, const char* key)
{
    const auto it = parent.find(key);
    return it != parent.end() && it->is_number() ? ReportNumber(it->get<double>()) : "";
}

std::string Hex(const json& parent, const char* key)
{
    const auto it = parent.find(key);
    if (it == parent.end() || !it->is_number_integer())
        return "";
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", it->get<unsigned>());
    return text;
}

// The outcome's class; its colour comes from the style sheet.
std::string Badge(const std::string& outcome)
{
    const std::string known = IsOutcome(outcome) ? outcome : "NONE";
    return "<span class=\"o " + known + "\">" + Escape(outcome.empty() ? "-" : outcome) + "</span>";
}

std::string Limits(const json& limits)
{
    if (!limits.is_object())
        return "";
    const std::string c = Str(limits, "comparison");
    const std::string low = NumberText(limits, "low"), high = NumberText(limits, "high");
    const std::string one = low.empty() ? high : low;
    std::string text;
    if (c == "EQ")
        text = "= " + one;
    else if (c == "NE")
        text = "&ne; " + one;
    else if (c == "GT")
        text = "&gt; " + one;
    else if (c == "GE")
        text = "&ge; " + one;
    else if (c == "LT")
        text = "&lt; " + (high.empty() ? low : high);
    else if (c == "LE")
        text = "&le; " + (high.empty() ? low : high);
    else if (c.size() == 4)
        text = low + (c[1] == 'E' ? " &le;" : " &lt;") + " x " + (c[3] == 'E' ? "&le; " : "&lt; ") +
               high;
    const std::string ml = NumberText(limits, "marginal_low");
    const std::string mh = NumberText(limits, "marginal_high");
    if (!ml.empty() || !mh.empty())
        text += "<br><small>marginal " + (ml.empty() ? "" : "below " + ml) +
                (ml.empty() || mh.empty() ? "" : ", ") + (mh.empty() ? "" : "above " + mh) +
                "</small>";
    return text;
}

std::string Row(const char* name, const std::string& value)
{
    return value.empty() ? ""
                         : "<tr><th>" + std::string(name) + "</th><td>" + value + "</td></tr>\n";
}

// Axes, ticks and the frame around a plot area of kPlotWidth x kPlotHeight.
std::string Frame(double xLow, double xHigh, double yLow, double yHigh, const std::string& xName,
                  const std::string& yName)
{
    // Counts are whole: a tick between them is rounded to one.
    const auto tick = [](double low, double high, int i)
    {
        const double v = low + (high - low) * i / 4.0;
        return ReportNumber(high - low >= 8 ? std::round(v) : v);
    };
    std::ostringstream svg;
    svg << "<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << kPlotWidth
        << "\" height=\"" << kPlotHeight << "\" class=\"frame\"/>\n";
    for (int i = 0; i <= 4; ++i)
    {
        const double y = kTop + kPlotHeight * (1.0 - i / 4.0);
        const double x = kLeft + kPlotWidth * (i / 4.0);
        svg << "<line x1=\"" << kLeft << "\" x2=\"" << kLeft + kPlotWidth << "\" y1=\"" << y
            << "\" y2=\"" << y << "\" class=\"grid\"/>"
            << "<text x=\"" << kLeft - 6 << "\" y=\"" << y + 4 << "\" class=\"ty\">"
            << tick(yLow, yHigh, i) << "</text>"
            << "<text x=\"" << x << "\" y=\"" << kTop + kPlotHeight + 16 << "\" class=\"tx\">"
            << tick(xLow, xHigh, i) << "</text>\n";
    }
    svg << "<text x=\"" << kLeft + kPlotWidth / 2 << "\" y=\"" << kTop + kPlotHeight + 31
        << "\" class=\"tx\">" << Escape(xName) << "</text>"
        << "<text x=\"12\" y=\"" << kTop + kPlotHeight / 2
        << "\" class=\"tx\" transform=\"rotate(-90 12 " << kTop + kPlotHeight / 2 << ")\">"
        << Escape(yName) << "</text>\n";
    return svg.str();
}

std::string SvgOpen()
{
    std::ostringstream svg;
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " << kLeft + kPlotWidth + kRight
        << " " << kTop + kPlotHeight + kBottom << "\" class=\"plot\">\n";
    return svg.str();
}

std::string PositionPlot(const std::vector<double>& positions)
{
    const auto [lo, hi] = std::minmax_element(positions.begin(), positions.end());
    const double low = *lo, high = *hi;
    std::ostringstream path;
    path.precision(4);
    path << std::fixed;
    const std::vector<ColumnSpan> columns = MinMaxColumns(positions, kPlotWidth);
    for (std::size_t c = 0; c < columns.size(); ++c)
    {
        if (columns[c].empty)
            continue;
        const double x = kLeft + double(c) + 0.5;
        const auto y = [&](double v) {
            return kTop +
                   (high > low ? (high - v) / (high - low) * kPlotHeight : kPlotHeight / 2.0);
        };
        const double y1 = y(columns[c].high), y2 = y(columns[c].low);
        // At least half a pixel tall, so that a flat stretch still shows.
        path << "M" << x << ' ' << y1 - 0.25 << "V" << std::max(y2, y1) + 0.25;
    }
    return SvgOpen() +
           Frame(0, double(positions.size()), low, high, "reading", "position (counts)") +
           "<path d=\"" + path.str() + "\" class=\"trace\"/>\n</svg>\n";
}

std::string SweepPlot(const json& sweep)
{
    std::vector<std::pair<double, double>> points;
    for (const json& p : sweep)
        if (p.is_object() && p.contains("clock_hz") && p["clock_hz"].is_number())
            points.emplace_back(p["clock_hz"].get<double>(),
                                p.contains("error_rate") && p["error_rate"].is_number()
                                    ? p["error_rate"].get<double>()
                                    : 0.0);
    if (points.empty())
        return {};
    std::sort(points.begin(), points.end());
    const double xLow = points.front().first, xHigh = points.back().first;
    double yHigh = 0;
    for (const auto& p : points)
        yHigh = std::max(yHigh, p.second);
    if (yHigh <= 0)
        yHigh = 1e-6;
    std::ostringstream line, dots;
    line.precision(4);
    line << std::fixed;
    dots.precision(4);
    dots << std::fixed;
    for (const auto& [clock, rate] : points)
    {
        const double x =
            kLeft + (xHigh > xLow ? (clock - xLow) / (xHigh - xLow) : 0.5) * kPlotWidth;
        const double y = kTop + (1.0 - rate / yHigh) * kPlotHeight;
        line << (line.tellp() == 0 ? "M" : "L") << x << ' ' << y;
        dots << "<circle cx=\"" << x << "\" cy=\"" << y << "\" r=\"3\" class=\""
             << (rate > 0 ? "bad" : "good") << "\"/>";
    }
    return SvgOpen() + Frame(xLow, xHigh, 0, yHigh, "clock (Hz)", "error rate") + "<path d=\"" +
           line.str() + "\" class=\"rate\"/>\n" + dots.str() + "\n</svg>\n";
}

// The attachment's readings as positions: the record's bit counts, Gray decoded as the
// file says.
bool Positions(const std::string& path, const json& settings, std::vector<double>& positions,
               std::string& error)
{
    RunFileContents contents;
    if (!ReadRunFile(path, contents, error))
        return false;
    unsigned bits = 0;
    if (settings.is_object())
        bits = settings.value("st_bits", 0u) + settings.value("mt_bits", 0u);
    if (bits == 0 && contents.settings)
        bits = contents.settings->stBits + contents.settings->mtBits;
    const unsigned mask = bits == 0 ? 0xFFFFFFFFu : CodeTester::Mask(bits);
    positions.reserve(contents.readings.size());
    for (const unsigned raw : contents.readings)
        positions.push_back(
            double(contents.gray ? CodeTester::GrayToBinary(raw & mask) : raw & mask));
    return true;
}

constexpr const char* kStyle = R"(
body{font-family:"Liberation Sans","DejaVu Sans",Arial,sans-serif;color:#222;margin:24px auto;max-width:860px;font-size:14px}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:22px 0 6px;border-bottom:1px solid #bbb}
h3{font-size:15px;margin:14px 0 4px}
table{border-collapse:collapse;margin:4px 0 8px}th,td{padding:3px 10px;text-align:left;vertical-align:top;border-bottom:1px solid #e3e3e3}
th{font-weight:600;color:#444}table.m td.n,table.m th.n{text-align:right;font-variant-numeric:tabular-nums}
.o{display:inline-block;padding:1px 8px;border-radius:4px;font-weight:700;color:#fff;background:#777}
.PASS{background:#2e7d32}.MARGINAL{background:#e69500}.FAIL,.ERROR{background:#c62828}.ABORTED{background:#616161}
.head{display:flex;justify-content:space-between;align-items:center}
.big{font-size:30px;padding:6px 20px}
.cause{padding:8px 12px;background:#fff4e5;border-left:4px solid #e69500}
.plot{width:100%;height:auto;font-size:11px}.frame{fill:none;stroke:#888}.grid{stroke:#e0e0e0}
.trace{stroke:#1565c0;stroke-width:1;fill:none}.rate{stroke:#444;fill:none;stroke-width:1.5}
.good{fill:#2e7d32}.bad{fill:#c62828}.ty{text-anchor:end;fill:#444}.tx{text-anchor:middle;fill:#444}
.note{color:#666}footer{margin-top:24px;color:#777;font-size:12px}
@media print{body{margin:0;max-width:none}h2{break-after:avoid}table,svg,.step{break-inside:avoid}
*{-webkit-print-color-adjust:exact;print-color-adjust:exact}}
)";

std::string Render(const json& doc, const std::string& attachmentPath)
{
    const json none = json::object();
    const auto object = [&](const json& parent, const char* key) -> const json&
    {
        const auto it = parent.find(key);
        return it != parent.end() && it->is_object() ? *it : none;
    };
    const json& unit = object(doc, "unit");
    const json& plan = object(doc, "plan");
    const json& box = object(doc, "box");
    const json& settings = object(box, "settings");
    const std::string outcome = Str(doc, "outcome");

    std::ostringstream h;
    h << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>"
      << Escape("Test report " + Str(unit, "serial") + " " + outcome) << "</title>\n<style>"
      << kStyle << "</style></head>\n<body>\n<div class=\"head\"><div><h1>Test report: "
      << Escape(Str(unit, "serial")) << "</h1><div class=\"note\">" << Escape(Str(plan, "name"))
      << " " << Escape(Str(plan, "version")) << "</div></div>"
      << "<span class=\"o big " << (IsOutcome(outcome) ? outcome : "NONE") << "\">"
      << Escape(outcome) << "</span></div>\n";

    h << "<h2>Unit and run</h2>\n<table>\n"
      << Row("Serial number", Escape(Str(unit, "serial")))
      << Row("Part number", Escape(Str(unit, "part_number")))
      << Row("Station", Escape(Str(doc, "station")))
      << Row("Operator", Escape(Str(doc, "operator"))) << Row("Start", Escape(Str(doc, "start")))
      << Row("End", Escape(Str(doc, "end")))
      << Row("Plan", Escape(Str(plan, "name") + " " + Str(plan, "version")))
      << Row("Plan file", Escape(Str(plan, "file")))
      << Row("Plan SHA-256", "<code>" + Escape(Str(plan, "sha256")) + "</code>")
      << Row("Record", "<code>" + Escape(Str(doc, "uuid")) + "</code>") << "</table>\n";

    h << "<h2>Box and settings</h2>\n<table>\n"
      << Row("Box", Escape(Str(box, "serial") + " " + Str(box, "description")))
      << Row("Mode", Escape(Str(settings, "mode")))
      << Row("Clock", NumberText(settings, "clock_hz") +
                          (NumberText(settings, "clock_hz").empty() ? "" : " Hz"))
      << Row("ST bits", NumberText(settings, "st_bits"))
      << Row("MT bits", NumberText(settings, "mt_bits"))
      << Row("Data mask", Hex(settings, "data_mask"))
      << Row("Gray mask", Hex(settings, "gray_mask"))
      << Row("SPI word", NumberText(settings, "spi_word"))
      << Row("Supply", Escape(Str(settings, "supply"))) << "</table>\n";

    h << "<h2>Root cause</h2>\n";
    const std::string cause = Str(doc, "root_cause");
    h << (cause.empty() ? "<p class=\"note\">None found.</p>\n"
                        : "<p class=\"cause\">" + Escape(cause) + "</p>\n");

    h << "<h2>Position</h2>\n";
    std::vector<double> positions;
    std::string error;
    if (attachmentPath.empty())
        h << "<p class=\"note\">The run's readings are not at hand.</p>\n";
    else if (!Positions(attachmentPath, settings, positions, error))
        h << "<p class=\"note\">The readings could not be read: " << Escape(error) << "</p>\n";
    else if (positions.empty())
        h << "<p class=\"note\">The run has no readings.</p>\n";
    else
        h << PositionPlot(positions) << "<p class=\"note\">"
          << ReportNumber(double(positions.size()))
          << " readings; each column shows the lowest and highest position in it.</p>\n";

    h << "<h2>Steps and measurements</h2>\n";
    const auto steps = doc.find("steps");
    if (steps != doc.end() && steps->is_array())
    {
        for (const json& step : *steps)
        {
            if (!step.is_object())
                continue;
            h << "<div class=\"step\"><h3>" << Escape(Str(step, "name"))
              << " <small class=\"note\">(" << Escape(Str(step, "kind")) << ")</small> "
              << Badge(Str(step, "outcome"));
            if (step.value("attempts", 1) > 1)
                h << " <small class=\"note\">" << step.value("attempts", 1) << " attempts</small>";
            h << "</h3>\n";
            if (const std::string e = Str(step, "error"); !e.empty())
                h << "<p class=\"cause\">" << Escape(e) << "</p>\n";
            const auto list = step.find("measurements");
            if (list != step.end() && list->is_array() && !list->empty())
            {
                h << "<table class=\"m\"><tr><th>Measurement</th><th class=\"n\">Value</th>"
                     "<th>Unit</th><th>Limits</th><th>Outcome</th></tr>\n";
                for (const json& m : *list)
                {
                    if (!m.is_object())
                        continue;
                    const std::string value = NumberText(m, "value");
                    h << "<tr><td>" << Escape(Str(m, "name")) << "</td><td class=\"n\">"
                      << (value.empty() ? "&ndash;" : value) << "</td><td>"
                      << Escape(Str(m, "unit")) << "</td><td>"
                      << Limits(m.contains("limits") ? m["limits"] : json()) << "</td><td>"
                      << Badge(Str(m, "outcome")) << "</td></tr>\n";
                }
                h << "</table>\n";
            }
            if (const auto sweep = step.find("sweep"); sweep != step.end() && sweep->is_array())
                if (const std::string plot = SweepPlot(*sweep); !plot.empty())
                    h << "<p class=\"note\">Error rate per clock</p>\n" << plot;
            h << "</div>\n";
        }
    }
    const json& program = object(doc, "program");
    h << "<footer>" << Escape(Str(program, "name") + " " + Str(program, "version"))
      << " &middot; record " << Escape(Str(doc, "uuid")) << "</footer>\n</body></html>\n";
    return h.str();
}

std::string WriteFile(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(text.data(), std::streamsize(text.size())) || !out.flush())
        {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return path + ": cannot be written";
        }
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error)
    {
        fs::remove(temporary, error);
        return path + ": cannot be written";
    }
    return {};
}
} // namespace

std::string ReportNumber(double value)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? "NaN" : value > 0 ? "inf" : "-inf";
    if (value == std::floor(value) && std::fabs(value) < 1e15)
    {
        const long long whole = static_cast<long long>(std::fabs(value));
        std::string digits = std::to_string(whole);
        for (int i = int(digits.size()) - 3; i > 0; i -= 3)
            digits.insert(std::size_t(i), ",");
        return (value < 0 ? "-" : "") + digits;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::vector<ColumnSpan> MinMaxColumns(std::span<const double> values, std::size_t columns)
{
    std::vector<ColumnSpan> out(columns);
    if (columns == 0 || values.empty())
        return out;
    for (std::size_t i = 0; i < values.size(); ++i)
    {
        ColumnSpan& c = out[i * columns / values.size()];
        if (c.empty)
            c = {values[i], values[i], false};
        else
        {
            c.low = std::min(c.low, values[i]);
            c.high = std::max(c.high, values[i]);
        }
    }
    return out;
}

std::string WriteReportFromDocument(const std::string& document, const std::string& attachmentPath,
                                    const std::string& htmlPath)
{
    const json doc = json::parse(document, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        return "the record is not a JSON object";
    return WriteFile(htmlPath, Render(doc, attachmentPath));
}

std::string WriteReport(const std::string& recordJsonPath, const std::string& htmlPath)
{
    std::ifstream in(recordJsonPath, std::ios::binary);
    if (!in)
        return recordJsonPath + ": cannot be read";
    std::ostringstream text;
    text << in.rdbuf();
    const json doc = json::parse(text.str(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        return recordJsonPath + ": not a JSON object";
    std::string attachment;
    if (const std::string name = Str(doc, "attachment"); !name.empty())
        attachment = (fs::path(recordJsonPath).parent_path() / fs::path(name).filename()).string();
    return WriteFile(htmlPath, Render(doc, attachment));
}

} // namespace App

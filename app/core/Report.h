#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// The printable report of a production test record: one HTML file that needs nothing else
// (styles and plots inline, no script, no network), for a browser to show and print to PDF.
namespace App
{

// Writes the report of the record at `recordJsonPath`, with the position plot from its .h5
// attachment beside it when there is one. Returns the error, empty on success; the HTML file
// is replaced only by a complete one.
std::string WriteReport(const std::string& recordJsonPath, const std::string& htmlPath);

// The same from a record's text (a store's copy); `attachmentPath` may be empty or missing,
// and the report then says the readings are not at hand.
std::string WriteReportFromDocument(const std::string& document, const std::string& attachmentPath,
                                    const std::string& htmlPath);

// The plots' geometry, kept out of the drawing so that tests check it directly.
struct ColumnSpan
{
    double low = 0;
    double high = 0;
    bool empty = true;
};

// The lowest and highest value falling into each of `columns` equal slices of the values:
// a million readings become one vertical stroke per pixel column and keep every spike.
std::vector<ColumnSpan> MinMaxColumns(std::span<const double> values, std::size_t columns);

// "1,000,000" for integral values, else 6 significant digits.
std::string ReportNumber(double value);

} // namespace App

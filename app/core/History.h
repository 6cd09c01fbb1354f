#pragma once

#include <string>
#include <vector>

// Splits a history message into its display lines: line feeds and carriage returns break
// lines (several in a row count as one, a trailing break adds nothing), other control
// characters and bytes from 0x80 up become one blank each, and every line after the first
// is indented by four blanks. An empty text gives one empty line.
std::vector<std::string> SplitHistoryLines(const std::string& text);

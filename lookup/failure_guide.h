// The administrator's troubleshooting table, made from the program's own descriptions and hints.
#pragma once

#include <string>

namespace quillmark {

// A Markdown table with one row per hinted code: the code, what it means, what to check. UTF-8.
std::string TroubleshootingTable();

// The lines that mark where the table stands in a guide.
inline constexpr char kTableBegins[] = "<!-- troubleshooting table: made by scripts/guide.sh -->";
inline constexpr char kTableEnds[] = "<!-- end of troubleshooting table -->";

// The guide with the text between its markers replaced by `table`; the guide unchanged when it
// has no markers.
std::string WithTroubleshootingTable(const std::string& guide, const std::string& table);

}  // namespace quillmark

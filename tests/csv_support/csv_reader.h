// A strict RFC 4180 reader, with which the tests read back the companion's CSV output.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillmark::csv_support {

using CsvRecord = std::vector<std::string>;

// The records of CSV text as RFC 4180 writes them: every record ends in CRLF, fields are separated
// by commas, and a field in double quotes may hold commas, line breaks and doubled quotes. Nothing
// when the text breaks a rule: a bare CR or LF outside quotes, a quote inside an unquoted field,
// anything but a comma or CRLF after a closing quote, an unclosed quote, or a last record without
// its CRLF. The fields' bytes are returned as they are.
std::optional<std::vector<CsvRecord>> ReadCsv(const std::string& text);

}  // namespace quillmark::csv_support

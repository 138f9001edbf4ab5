// Reads RFC 4180 CSV strictly, one character at a time.
#include "csv_reader.h"

#include <utility>

namespace quillmark::csv_support {

std::optional<std::vector<CsvRecord>> ReadCsv(const std::string& text) {
  std::vector<CsvRecord> records;
  CsvRecord record;
  std::size_t at = 0;
  const auto at_record_end = [&] { return text.compare(at, 2, "\r\n") == 0; };
  while (at < text.size()) {
    std::string field;
    if (text[at] == '"') {
      for (++at;; ++at) {
        if (at >= text.size()) return std::nullopt;  // the quote is never closed
        if (text[at] == '"') {
          if (at + 1 >= text.size() || text[at + 1] != '"') break;
          ++at;  // a doubled quote stands for one
        }
        field += text[at];
      }
      ++at;  // past the closing quote
    } else {
      for (; at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n'; ++at) {
        if (text[at] == '"') return std::nullopt;
        field += text[at];
      }
    }
    record.push_back(std::move(field));
    if (at < text.size() && text[at] == ',') {
      ++at;
      if (at >= text.size()) return std::nullopt;  // a field is still due, and a CRLF
      continue;
    }
    if (!at_record_end()) return std::nullopt;  // no CRLF, or something else after a quote
    at += 2;
    records.push_back(std::move(record));
    record.clear();
  }
  return records;
}

}  // namespace quillmark::csv_support

// Decoding a list's bytes and splitting its text into names.
#include "list_text.h"

#include <algorithm>
#include <string_view>

#include "text_encoding.h"

namespace quillmark::companion {
namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kUtf16LittleEndianMark[] = "\xFF\xFE";
constexpr char kUtf16BigEndianMark[] = "\xFE\xFF";

bool IsBlank(wchar_t unit) {
  return unit == L' ' || unit == L'\t' || unit == 0x00A0 || unit == 0x3000;
}

bool StartsWith(const std::string& bytes, const char* prefix) {
  return bytes.rfind(prefix, 0) == 0;
}

InvalidText AtOffset(const wchar_t* what, std::size_t offset) {
  return {what + std::wstring(L" at byte offset ") + std::to_wstring(offset)};
}

std::variant<std::wstring, InvalidText> DecodeUtf16(const std::string& bytes, bool big_endian) {
  if (bytes.size() % 2 != 0) return InvalidText{L"UTF-16 text with an odd number of bytes"};
  std::size_t invalid_at = 0;
  const auto code_points = CodePointsFromUtf16(bytes.substr(2), big_endian, invalid_at);
  if (!code_points) return AtOffset(L"an unpaired UTF-16 surrogate", invalid_at + 2);
  return UnitsFromCodePoints<std::wstring>(*code_points);
}

std::variant<std::wstring, InvalidText> DecodeUtf8(const std::string& bytes) {
  const std::size_t start = StartsWith(bytes, kUtf8Mark) ? 3 : 0;
  std::size_t invalid_at = 0;
  const auto code_points = CodePointsFromUtf8(bytes.substr(start), invalid_at);
  if (!code_points) return AtOffset(L"invalid UTF-8", invalid_at + start);
  return UnitsFromCodePoints<std::wstring>(*code_points);
}

std::optional<std::wstring_view> NameOnLine(std::wstring_view line) {
  const auto first = std::find_if_not(line.begin(), line.end(), IsBlank);
  if (first == line.end() || *first == L'#') return std::nullopt;
  const auto last = std::find_if_not(line.rbegin(), line.rend(), IsBlank).base();
  return std::wstring_view(&*first, static_cast<std::size_t>(last - first));
}

}  // namespace

std::variant<std::wstring, InvalidText> DecodeListText(const std::string& bytes) {
  auto text = StartsWith(bytes, kUtf16LittleEndianMark) ? DecodeUtf16(bytes, false)
              : StartsWith(bytes, kUtf16BigEndianMark)  ? DecodeUtf16(bytes, true)
                                                        : DecodeUtf8(bytes);
  const auto* decoded = std::get_if<std::wstring>(&text);
  if (decoded && decoded->find(L'\0') != std::wstring::npos) {
    return InvalidText{L"a NUL character, which text never holds (UTF-16 needs a byte-order mark)"};
  }
  return text;
}

void AddNamesFromListText(const std::wstring& text, ComputerNames& names) {
  const std::wstring_view whole(text);
  std::size_t line_start = 0;
  while (line_start <= whole.size()) {
    const std::size_t line_end = std::min(whole.find_first_of(L"\r\n", line_start), whole.size());
    if (auto name = NameOnLine(whole.substr(line_start, line_end - line_start))) names.Add(*name);
    const bool crlf = whole.compare(line_end, 2, L"\r\n") == 0;
    line_start = line_end + (crlf ? 2 : 1);
  }
}

std::optional<InvalidText> AddNamesFromListBytes(const std::string& bytes, ComputerNames& names) {
  auto text = DecodeListText(bytes);
  if (auto* invalid = std::get_if<InvalidText>(&text)) return std::move(*invalid);
  AddNamesFromListText(std::get<std::wstring>(text), names);
  return std::nullopt;
}

}  // namespace quillmark::companion

// Conversions through the system's own code-page functions.
#include "text.h"

#include <windows.h>

namespace quillmark::test_support {
namespace {

std::optional<std::wstring> WideIn(UINT code_page, DWORD flags, const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(code_page, flags, bytes.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, flags, bytes.data(), size, wide.data(), length);
  return wide;
}

}  // namespace

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

std::wstring Wide(const std::string& utf8) { return WideIn(CP_UTF8, 0, utf8).value_or(L""); }

std::optional<std::wstring> StrictWide(const std::string& utf8) {
  return WideIn(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
}

std::wstring WinePathFromUnix(const std::string& unix_path) {
  std::wstring path = Wide(unix_path);
  for (wchar_t& unit : path) {
    if (unit == L'/') unit = L'\\';
  }
  return L"Z:" + path;
}

std::wstring TextFromConsoleBytes(const std::string& bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const bool utf16 = bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || byte(1) == 0);
  if (!utf16) return WideIn(CP_ACP, 0, bytes).value_or(L"");
  std::wstring text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<wchar_t>(byte(i) | (byte(i + 1) << 8));
  }
  if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
  return text;
}

}  // namespace quillmark::test_support

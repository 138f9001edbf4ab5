// The visible convention, row by row: what is escaped, what is kept, and what is replaced.
#include "visible_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmark {
namespace {

struct VisibleCase {
  const char* promise;
  std::wstring text;
  LineBreaks line_breaks;
  std::wstring shown;
};

std::wstring Units(std::initializer_list<wchar_t> units) { return std::wstring(units); }

TEST(VisibleText, ShowsEveryControlAsAnEscapeAndKeepsEverythingElse) {
  const VisibleCase cases[] = {
      {"plain text stays", L"SN-42 \u00E9\u20AC", LineBreaks::kEscaped, L"SN-42 \u00E9\u20AC"},
      {"terminal escapes show", L"\x1B]0;t\x07", LineBreaks::kEscaped, L"\\u001b]0;t\\u0007"},
      {"NUL shows as one escape", Units({L'a', 0, L'b'}), LineBreaks::kEscaped, L"a\\u0000b"},
      {"DEL and C1 show", L"\x7F\x85\x9F", LineBreaks::kEscaped, L"\\u007f\\u0085\\u009f"},
      {"bidi controls show", L"\u202A\u202E\u2066\u2069", LineBreaks::kEscaped,
       L"\\u202a\\u202e\\u2066\\u2069"},
      {"bidi neighbours stay", L"\u2029x\u202F\u2065\u206A", LineBreaks::kEscaped,
       L"\\u2029x\u202F\u2065\u206A"},
      {"line breaks show", L"a\r\nb\t", LineBreaks::kEscaped, L"a\\u000d\\u000ab\\u0009"},
      {"line breaks kept when asked", L"a\r\nb\t", LineBreaks::kKept, L"a\r\nb\\u0009"},
      {"a pair above the first plane stays", L"\U0001F600", LineBreaks::kEscaped, L"\U0001F600"},
      {"a lone high surrogate is replaced", Units({L'a', static_cast<wchar_t>(0xD800)}),
       LineBreaks::kEscaped, L"a\uFFFD"},
      {"a lone low surrogate is replaced", Units({static_cast<wchar_t>(0xDC00), L'b'}),
       LineBreaks::kEscaped, L"\uFFFDb"},
  };
  for (const VisibleCase& row : cases) {
    EXPECT_EQ(VisibleText(row.text, row.line_breaks), row.shown) << row.promise;
  }
}

}  // namespace
}  // namespace quillmark

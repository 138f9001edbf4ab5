// UTF-8 and UTF-16 encoding and strict decoding, free of any platform's conversion functions.
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

// What a UTF-8 lead byte says: the sequence's length, the code point bits it carries, and the
// smallest code point that length may encode (anything less is an overlong form).
struct Utf8Lead {
  std::size_t length;
  char32_t bits;
  char32_t minimum;
};

unsigned char ByteAt(const std::string& bytes, std::size_t index) {
  return static_cast<unsigned char>(bytes[index]);
}

std::optional<Utf8Lead> LeadOf(unsigned char byte) {
  if (byte < 0x80) return Utf8Lead{1, byte, 0};
  if ((byte & 0xE0) == 0xC0) return Utf8Lead{2, byte & 0x1Fu, 0x80};
  if ((byte & 0xF0) == 0xE0) return Utf8Lead{3, byte & 0x0Fu, 0x800};
  if ((byte & 0xF8) == 0xF0) return Utf8Lead{4, byte & 0x07u, 0x10000};
  return std::nullopt;
}

// The code point whose sequence starts at `index`, moving `index` past it; nullopt, with `index`
// unmoved, when the sequence is not valid.
std::optional<char32_t> DecodeUtf8Sequence(const std::string& bytes, std::size_t& index) {
  const auto lead = LeadOf(ByteAt(bytes, index));
  if (!lead || lead->length > bytes.size() - index) return std::nullopt;
  char32_t code_point = lead->bits;
  for (std::size_t offset = 1; offset < lead->length; ++offset) {
    const unsigned char byte = ByteAt(bytes, index + offset);
    if ((byte & 0xC0) != 0x80) return std::nullopt;
    code_point = (code_point << 6) | (byte & 0x3Fu);
  }
  if (code_point < lead->minimum || code_point > kLastCodePoint || IsSurrogate(code_point)) {
    return std::nullopt;
  }
  index += lead->length;
  return code_point;
}

void AppendUtf8(std::string& bytes, char32_t code_point) {
  if (code_point > kLastCodePoint || IsSurrogate(code_point)) code_point = kReplacementCharacter;
  const auto continuation = [&](int shift) {
    bytes.push_back(static_cast<char>(0x80 | ((code_point >> shift) & 0x3F)));
  };
  if (code_point < 0x80) {
    bytes.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    bytes.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    continuation(0);
  } else if (code_point < 0x10000) {
    bytes.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    continuation(6);
    continuation(0);
  } else {
    bytes.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    continuation(12);
    continuation(6);
    continuation(0);
  }
}

std::u16string Utf16Units(const std::string& bytes, bool big_endian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) {
    const unsigned high = ByteAt(bytes, big_endian ? index : index + 1);
    const unsigned low = ByteAt(bytes, big_endian ? index + 1 : index);
    units.push_back(static_cast<char16_t>((high << 8) | low));
  }
  return units;
}

}  // namespace

std::string Utf8FromCodePoints(const std::u32string& code_points) {
  std::string bytes;
  bytes.reserve(code_points.size());
  for (const char32_t code_point : code_points) AppendUtf8(bytes, code_point);
  return bytes;
}

std::optional<std::u32string> CodePointsFromUtf8(const std::string& bytes,
                                                 std::size_t& invalid_at) {
  std::u32string code_points;
  code_points.reserve(bytes.size());
  for (std::size_t index = 0; index < bytes.size();) {
    const auto code_point = DecodeUtf8Sequence(bytes, index);
    if (!code_point) {
      invalid_at = index;
      return std::nullopt;
    }
    code_points.push_back(*code_point);
  }
  return code_points;
}

std::optional<std::u32string> CodePointsFromUtf16(const std::string& bytes, bool big_endian,
                                                  std::size_t& invalid_at) {
  const std::u16string units = Utf16Units(bytes, big_endian);
  std::u32string code_points;
  code_points.reserve(units.size());
  for (std::size_t index = 0; index < units.size(); ++index) {
    const char32_t unit = units[index];
    const char32_t next = index + 1 < units.size() ? units[index + 1] : 0;
    if (IsHighSurrogate(unit) && IsLowSurrogate(next)) {
      code_points.push_back(CombineSurrogates(unit, next));
      ++index;
    } else if (IsSurrogate(unit)) {
      invalid_at = 2 * index;
      return std::nullopt;
    } else {
      code_points.push_back(unit);
    }
  }
  if (bytes.size() % 2 != 0) {
    invalid_at = bytes.size() - 1;
    return std::nullopt;
  }
  return code_points;
}

}  // namespace quillmark::companion

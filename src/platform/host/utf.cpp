#include "platform/host/utf.h"

namespace {

// A byte that is part of no well-formed sequence becomes the lone low
// surrogate U+DC80 + byte, and encodes back to that byte.
constexpr char32_t kEscapeBase = 0xDC00;
constexpr char32_t kFirstEscape = 0xDC80;
constexpr char32_t kLastEscape = 0xDCFF;

// Decodes one well-formed UTF-8 sequence at text[0..available), or returns 0.
size_t DecodeUtf8(const unsigned char* text, size_t available, char32_t* codePoint) {
  unsigned char lead = text[0];
  size_t length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (available < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (text[i] & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *codePoint = value;
  return length;
}

}  // namespace

std::u16string Utf8ToUtf16String(const std::string& text) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text.data());
  std::u16string wide;
  wide.reserve(text.size());  // UTF-16 never needs more units than UTF-8 bytes
  for (size_t read = 0; read < text.size();) {
    char32_t codePoint;
    size_t length = DecodeUtf8(in + read, text.size() - read, &codePoint);
    if (length == 0) {
      codePoint = kEscapeBase + in[read];
      length = 1;
    }
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      wide += static_cast<WCHAR>(0xD800 + (codePoint >> 10));
      wide += static_cast<WCHAR>(0xDC00 + (codePoint & 0x3FF));
    } else {
      wide += static_cast<WCHAR>(codePoint);
    }
    read += length;
  }
  return wide;
}

bool Utf16ToUtf8(const WCHAR* units, size_t count, std::string* out) {
  out->clear();
  for (size_t i = 0; i < count; ++i) {
    char32_t codePoint = units[i];
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
      if (i + 1 >= count || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (codePoint >= kFirstEscape && codePoint <= kLastEscape) {
      out->push_back(static_cast<char>(codePoint - kEscapeBase));
      continue;
    } else if (codePoint >= 0xDC00 && codePoint <= 0xDFFF) {
      return false;
    }
    if (codePoint < 0x80) {
      out->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
      out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
      out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
      out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
  }
  return true;
}

bool BytesOfName(const WCHAR* units, size_t count, std::string* bytes) {
  if (!Utf16ToUtf8(units, count, bytes)) return false;
  // Escapes that happen to spell a well-formed sequence ("\xC3\xA9" as two
  // lone surrogates) would give the bytes of another name ("\u00E9"): only a
  // name that is what its own bytes decode to is taken.
  std::u16string decoded = Utf8ToUtf16String(*bytes);
  return decoded.size() == count && decoded.compare(0, count, units, count) == 0;
}

// Wide to narrow text. The host's "ANSI code page" is the bytes its runtime
// hands over: UTF-8, with escaped bytes turned back into themselves.
#include <algorithm>
#include <new>
#include <string>

#include "platform/host/utf.h"

namespace {

// The bytes of `units` UTF-16 units; Windows puts its default character
// where a code page has none. Throws std::bad_alloc when memory runs out.
void NarrowBytes(const WCHAR* wide, size_t units, std::string* bytes) {
  if (Utf16ToUtf8(wide, units, bytes)) return;
  bytes->clear();
  for (size_t i = 0; i < units; ++i) {
    std::string piece;
    const bool pair = i + 1 < units && wide[i] >= 0xD800 && wide[i] <= 0xDBFF && wide[i + 1] >= 0xDC00 &&
                      wide[i + 1] <= 0xDFFF;
    const size_t take = pair ? 2 : 1;
    *bytes += Utf16ToUtf8(wide + i, take, &piece) ? piece : "?";
    i += take - 1;
  }
}

}  // namespace

// Windows' own signature, whose last parameter is not const.
int WideCharToMultiByte(unsigned codePage, DWORD flags, const WCHAR* wide, int wideChars, char* narrow,
                        int narrowBytes, const char* defaultChar,
                        BOOL* usedDefaultChar) {  // NOLINT(readability-non-const-parameter)
  if (codePage != CP_ACP || flags != 0 || defaultChar != nullptr || usedDefaultChar != nullptr ||
      wide == nullptr || wideChars == 0 || narrowBytes < 0 || (narrowBytes > 0 && narrow == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t units = 0;
  if (wideChars < 0) {
    while (wide[units] != 0) ++units;
    ++units;  // the terminator is converted too
  } else {
    units = static_cast<size_t>(wideChars);
  }
  std::string bytes;
  try {
    NarrowBytes(wide, units, &bytes);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  if (bytes.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  int needed = static_cast<int>(bytes.size());
  if (narrowBytes == 0) return needed;
  if (narrowBytes < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(bytes.begin(), bytes.end(), narrow);  // terminated only when the terminator was converted
  return needed;
}

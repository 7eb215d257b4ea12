// Wide to narrow text. The host's "ANSI code page" is the bytes its runtime
// hands over: UTF-8, with escaped bytes turned back into themselves.
#include <algorithm>
#include <string>

#include "platform/host/utf.h"

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
  if (!Utf16ToUtf8(wide, units, &bytes)) {
    // Windows puts its default character where a code page has none.
    bytes.clear();
    for (size_t i = 0; i < units; ++i) {
      std::string piece;
      size_t take = (i + 1 < units && wide[i] >= 0xD800 && wide[i] <= 0xDBFF) ? 2 : 1;
      bytes += Utf16ToUtf8(wide + i, take, &piece) ? piece : "?";
      i += take - 1;
    }
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

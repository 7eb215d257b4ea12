// wsprintfW for the one conversion the tool uses: a narrow string argument,
// "%hs" or "%hS", with an optional precision in UTF-16 units.
#include <cstdarg>
#include <cstring>

#include "platform/host/utf.h"

namespace {

// wsprintfW never writes more than this, terminator included.
constexpr size_t kMaxOutputUnits = 1024;

}  // namespace

int wsprintfW(WCHAR* buffer, const WCHAR* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  size_t written = 0;
  const size_t limit = kMaxOutputUnits - 1;
  for (const WCHAR* at = format; *at != 0 && written < limit;) {
    if (*at != u'%') {
      buffer[written++] = *at++;
      continue;
    }
    ++at;
    if (*at == u'%') {
      buffer[written++] = *at++;
      continue;
    }
    size_t precision = limit;
    if (*at == u'.') {
      ++at;
      precision = 0;
      while (*at >= u'0' && *at <= u'9') precision = precision * 10 + (*at++ - u'0');
    }
    if (at[0] != u'h' || (at[1] != u's' && at[1] != u'S')) break;  // unsupported: stop here
    at += 2;
    const char* text = va_arg(arguments, const char*);
    if (text == nullptr) text = "(null)";
    size_t room = limit - written;
    written += Utf8ToUtf16(text, std::strlen(text), buffer + written, precision < room ? precision : room);
  }
  va_end(arguments);
  buffer[written] = 0;
  return static_cast<int>(written);
}

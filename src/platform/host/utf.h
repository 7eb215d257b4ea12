// UTF-8 and UTF-16 conversions for the host platform.
#pragma once

#include <cstddef>
#include <string>

#include "platform/system_services.h"

// Converts up to `bytes` bytes of UTF-8 (stopping early at a zero byte) into
// at most `maxUnits` UTF-16 units, never splitting a surrogate pair. Every
// byte that does not start a well-formed sequence becomes U+FFFD. Writes no
// terminator; returns the number of units written.
size_t Utf8ToUtf16(const char* text, size_t bytes, WCHAR* out, size_t maxUnits);

// Converts UTF-16 to UTF-8. Returns false for an unpaired surrogate.
bool Utf16ToUtf8(const WCHAR* units, size_t count, std::string* out);

std::u16string Utf8ToUtf16String(const std::string& text);

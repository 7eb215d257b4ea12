// UTF-8 and UTF-16 conversions for the host platform. The host's runtime
// hands over bytes, which need not be UTF-8: every byte string round-trips,
// since a byte that is part of no well-formed sequence becomes the lone low
// surrogate U+DC80 + byte and encodes back to the same byte.
#pragma once

#include <cstddef>
#include <string>

#include "platform/system_services.h"

// Converts UTF-16 back to bytes. False for a surrogate that is neither half
// of a pair nor an escaped byte.
bool Utf16ToUtf8(const WCHAR* units, size_t count, std::string* out);

// Converts bytes to UTF-16. Throws std::bad_alloc when memory runs out.
std::u16string Utf8ToUtf16String(const std::string& text);

// The bytes a name stands for, as a name is matched against the host's
// databases: false unless the name is exactly what those bytes decode to, so
// no two names share their bytes.
bool BytesOfName(const WCHAR* units, size_t count, std::string* bytes);

#include "platform/host/host_sid.h"

#include <cstring>

namespace {

constexpr unsigned char kRevision = 1;
constexpr unsigned char kMaxSubAuthorities = 15;
constexpr unsigned char kNonUniqueAuthority = 22;

}  // namespace

void MakeHostSid(uint32_t kind, uint32_t id, unsigned char out[kHostSidBytes]) {
  const uint32_t subAuthorities[2] = {kind, id};
  std::memset(out, 0, kHostSidBytes);
  out[0] = kRevision;
  out[1] = 2;
  out[7] = kNonUniqueAuthority;  // the authority is 48 bits, big-endian
  for (int i = 0; i < 2; ++i) {
    for (int b = 0; b < 4; ++b) out[8 + 4 * i + b] = static_cast<unsigned char>(subAuthorities[i] >> (8 * b));
  }
}

bool FormatSid(const void* sid, std::string* text) {
  const unsigned char* bytes = static_cast<const unsigned char*>(sid);
  if (bytes == nullptr || bytes[0] != kRevision || bytes[1] > kMaxSubAuthorities) return false;
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | bytes[i];
  *text = "S-1-" + std::to_string(authority);
  for (int i = 0; i < bytes[1]; ++i) {
    uint32_t value = 0;
    for (int b = 3; b >= 0; --b) value = (value << 8) | bytes[8 + 4 * i + b];
    *text += "-" + std::to_string(value);
  }
  return true;
}

const char* SkipSidString(const char* text, const char* end) {
  if (end - text < 4 || std::memcmp(text, "S-1-", 4) != 0) return nullptr;
  const char* at = text + 4;
  int numbers = 0;
  for (;;) {
    const char* start = at;
    uint64_t value = 0;
    while (at < end && static_cast<unsigned char>(*at - '0') <= 9) {
      value = value * 10 + static_cast<uint64_t>(*at - '0');
      ++at;
    }
    // At most 16 digits, which cannot overflow 64 bits.
    if (at == start || at - start > 16) return nullptr;
    if (value > (numbers == 0 ? 0xFFFFFFFFFFFFull : 0xFFFFFFFFull)) return nullptr;
    if (++numbers > 1 + kMaxSubAuthorities) return nullptr;
    if (at == end || *at != '-') return at;
    ++at;
  }
}

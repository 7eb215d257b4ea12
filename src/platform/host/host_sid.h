// SIDs for host accounts: S-1-22-1-<uid> for a user, S-1-22-2-<gid> for a group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kHostSidBytes = 16;  // revision, count, authority, two subauthorities
constexpr uint32_t kHostUserKind = 1;
constexpr uint32_t kHostGroupKind = 2;

void MakeHostSid(uint32_t kind, uint32_t id, unsigned char out[kHostSidBytes]);

// The "S-1-..." text of a binary SID. False when it is not a well-formed SID.
bool FormatSid(const void* sid, std::string* text);

// Skips the "S-1-..." text of a SID at `text`: where it ends, or null when
// what is there up to the first other character is not a SID.
const char* SkipSidString(const char* text, const char* end);

// The host's local policy: one text file, a line per grant, "<SID> <right>\n".
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/security_authority.h"

struct PolicyGrant {
  std::string sid;
  std::string right;
};

// A store's bytes, read whole (left uninitialised until read: no cost per byte
// beyond the read).
struct StoreContent {
  std::unique_ptr<char[]> bytes;
  size_t size = 0;
};

// The largest store that is read; a bigger one is reported as corrupt, so
// none is ever written.
constexpr size_t kMaxPolicyStoreBytes = 64 << 20;

// The store's place: $GRANTRIGHT_POLICY_STORE when set and not empty, else
// the built-in one under /var/lib.
std::string PolicyStorePath();

// Whether `size` bytes are a whole store: every line "<SID> <right>\n".
// Checks in place, allocating nothing.
bool IsValidPolicyStore(const char* bytes, size_t size);

// Whether the caller may create and write the store at `path`, and whatever
// is there already parses; its bytes go to `content`, for AddPolicyGrant.
// Creates the store's folder when it is missing.
NTSTATUS CheckPolicyStore(const std::string& path, StoreContent* content);

// Adds one grant under an exclusive lock, replacing the file atomically.
// `content` holds the store's bytes as last checked; it is read again under
// the lock and checked again only when it changed. A grant already held is a
// success that writes nothing.
NTSTATUS AddPolicyGrant(const std::string& path, StoreContent* content, const PolicyGrant& grant);

// How long a grant waits for the store's lock before it fails with
// STATUS_LOCK_NOT_GRANTED; tests shorten it.
extern unsigned g_storeLockWaitMilliseconds;

// Points of a store write at which tests may stop the writer.
enum class StoreWritePoint { kTemporaryWritten, kTemporaryFlushed, kBeforeRename, kAfterRename };

// Null in the program; a test may set it to crash or fail the writer at a point.
// A hook that returns false fails the write there, as an I/O error would
// (after the rename the grant is in, and only a crash can stop it).
extern bool (*g_storeWriteHook)(StoreWritePoint point);

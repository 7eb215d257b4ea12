// The host's local policy: one text file, a line per grant, "<SID> <right>\n".
#pragma once

#include <string>
#include <vector>

#include "platform/security_authority.h"

struct PolicyGrant {
  std::string sid;
  std::string right;
};

// The store's place: $GRANTRIGHT_POLICY_STORE when set and not empty, else
// the built-in one under /var/lib.
std::string PolicyStorePath();

// Parses a whole store. False when any line is not "<SID> <right>\n".
bool ParsePolicyStore(const std::string& content, std::vector<PolicyGrant>* grants);

// Whether the caller may create and write the store at `path`, and whatever
// is there already parses. Creates the store's folder when it is missing.
NTSTATUS CheckPolicyStore(const std::string& path);

// Adds one grant under an exclusive lock, replacing the file atomically.
// A grant already held is a success that writes nothing.
NTSTATUS AddPolicyGrant(const std::string& path, const PolicyGrant& grant);

// Points of a store write at which tests may stop the writer.
enum class StoreWritePoint { kTemporaryWritten, kTemporaryFlushed, kBeforeRename, kAfterRename };

// Null in the program; a test may set it to crash or fail the writer at a point.
// A hook that returns false fails the write there, as an I/O error would
// (after the rename the grant is in, and only a crash can stop it).
extern bool (*g_storeWriteHook)(StoreWritePoint point);

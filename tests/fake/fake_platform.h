// A scriptable platform for unit tests: it answers the logic's platform calls
// as a test sets up, records what the logic did, and keeps account of every
// heap block and message text so that a test can see what was left behind.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/security_authority.h"

struct FakeAccount {
  std::u16string name;
  std::vector<unsigned char> sid;
  std::u16string domain;
  DWORD claimedDomainChars = 0;  // when set, the lookup asks for this many instead
};

struct FakePlatform {
  // What the platform answers.
  std::vector<FakeAccount> accounts;
  DWORD unmappedError = ERROR_NONE_MAPPED;  // the lookup's error for any other name
  // One call made to fail: the `occurrence`th call (from 1) of `call` fails
  // with `value` (a status, or a last error; unused where a call fails by
  // returning null). HeapAlloc, HeapReAlloc, LookupAccountNameW, LsaOpenPolicy,
  // LsaAddAccountRights, LsaClose and WriteFile can fail. (A code without
  // text makes FormatMessageA fail: leave it out of `messages`.)
  struct Failure {
    std::string call;
    int occurrence = 0;
    uint32_t value = 0;
  } failure;
  std::map<DWORD, std::string> messages;  // texts in the user's language
  LANGID userLanguage = 0x0409;

  // What the logic did.
  std::vector<std::string> calls;  // platform calls in order, by name
  std::map<void*, size_t> liveBlocks;
  int badFrees = 0;  // frees of a block the heap does not hold
  int liveTexts = 0;
  int openPolicies = 0;
  int lookups = 0;
  std::vector<DWORD> lookupSidBytes;  // sizes passed to each lookup
  std::vector<DWORD> lookupDomainChars;
  std::vector<DWORD> formattedCodes;
  std::vector<unsigned char> addedSid;
  std::u16string addedRight;
  LSA_UNICODE_STRING addedDescriptor = {};
  ULONG addedCount = 0;
  LSA_OBJECT_ATTRIBUTES openAttributes = {};
  ACCESS_MASK openAccess = 0;
  bool openHadSystemName = false;
};

// The one fake, reset before every test by ResetFake.
FakePlatform& Fake();
void ResetFake();

// Calls of `name` recorded so far.
int CountCalls(const std::string& name);

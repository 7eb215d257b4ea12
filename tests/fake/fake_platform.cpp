#include "fake/fake_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

FakePlatform g_fake;
int g_heap;
int g_stderrHandle;
int g_policy;
constexpr DWORD kHeapFreeError = 0xF4EE;

// Records a call and says whether it is the one to fail.
bool Call(const char* name) {
  g_fake.calls.push_back(name);
  return g_fake.failure.call == name && CountCalls(name) == g_fake.failure.occurrence;
}

const FakeAccount* FindAccount(const WCHAR* name) {
  for (const FakeAccount& account : g_fake.accounts) {
    if (account.name == name) return &account;
  }
  return nullptr;
}

}  // namespace

FakePlatform& Fake() { return g_fake; }

void ResetFake() {
  for (auto& block : g_fake.liveBlocks) std::free(block.first);
  g_fake = FakePlatform();
  SetLastError(0);
}

int CountCalls(const std::string& name) {
  return static_cast<int>(std::count(g_fake.calls.begin(), g_fake.calls.end(), name));
}

HANDLE GetProcessHeap() { return &g_heap; }

void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (Call("HeapAlloc") || heap != &g_heap || flags != 0) return nullptr;
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  std::memset(block, 0xA5, bytes);
  g_fake.liveBlocks[block] = bytes;
  return block;
}

void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes) {
  if (Call("HeapReAlloc") || heap != &g_heap || flags != 0 || g_fake.liveBlocks.count(block) == 0)
    return nullptr;
  // Always move, so that a caller still holding the old address is caught.
  void* moved = std::malloc(bytes == 0 ? 1 : bytes);
  std::memcpy(moved, block, std::min(bytes, g_fake.liveBlocks[block]));
  std::free(block);
  g_fake.liveBlocks.erase(block);
  g_fake.liveBlocks[moved] = bytes;
  return moved;
}

BOOL HeapFree(HANDLE heap, DWORD flags, void* block) {
  g_fake.calls.push_back("HeapFree");
  // Windows does not promise to keep the last error here: a caller that needs
  // an earlier code must save it.
  SetLastError(kHeapFreeError);
  if (heap != &g_heap || flags != 0 || g_fake.liveBlocks.erase(block) == 0) {
    ++g_fake.badFrees;
    return FALSE;
  }
  std::free(block);
  return TRUE;
}

DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char* buffer,
                     DWORD minimumSize, va_list* arguments) {
  g_fake.calls.push_back("FormatMessageA");
  g_fake.formattedCodes.push_back(messageId);
  auto found = g_fake.messages.find(messageId);
  if (flags != 0x1100 || source != nullptr || minimumSize != 0 || arguments != nullptr ||
      languageId != g_fake.userLanguage || found == g_fake.messages.end()) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  char* text = static_cast<char*>(std::malloc(found->second.size() + 1));
  std::memcpy(text, found->second.c_str(), found->second.size() + 1);
  *reinterpret_cast<char**>(buffer) = text;
  ++g_fake.liveTexts;
  return static_cast<DWORD>(found->second.size());
}

LANGID GetUserDefaultLangID() {
  g_fake.calls.push_back("GetUserDefaultLangID");
  return g_fake.userLanguage;
}

HLOCAL LocalFree(HLOCAL memory) {
  g_fake.calls.push_back("LocalFree");
  if (memory != nullptr) --g_fake.liveTexts;
  std::free(memory);
  return nullptr;
}

HANDLE GetStdHandle(DWORD which) {
  g_fake.calls.push_back("GetStdHandle");
  return which == STD_ERROR_HANDLE ? &g_stderrHandle : nullptr;
}

// Writes through to descriptor 2, so a test capturing stderr sees the real order.
BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written, OVERLAPPED* overlapped) {
  if (Call("WriteFile")) return FALSE;
  if (file != &g_stderrHandle || overlapped != nullptr || written == nullptr) return FALSE;
  *written = static_cast<DWORD>(write(STDERR_FILENO, bytes, count));
  return TRUE;
}

NTSTATUS LsaOpenPolicy(LSA_UNICODE_STRING* systemName, LSA_OBJECT_ATTRIBUTES* attributes,
                       ACCESS_MASK desiredAccess, LSA_HANDLE* policy) {
  bool failing = Call("LsaOpenPolicy");
  g_fake.openHadSystemName = systemName != nullptr;
  g_fake.openAttributes = *attributes;
  g_fake.openAccess = desiredAccess;
  if (failing) return static_cast<NTSTATUS>(g_fake.failure.value);
  *policy = &g_policy;
  ++g_fake.openPolicies;
  return 0;
}

NTSTATUS LsaAddAccountRights(LSA_HANDLE policy, PSID account, LSA_UNICODE_STRING* rights, ULONG count) {
  bool failing = Call("LsaAddAccountRights");
  if (policy != &g_policy || g_fake.openPolicies != 1 || g_fake.liveBlocks.count(account) == 0) {
    return STATUS_INVALID_PARAMETER;
  }
  const unsigned char* sid = static_cast<const unsigned char*>(account);
  g_fake.addedSid.assign(sid, sid + 8 + 4 * sid[1]);
  g_fake.addedDescriptor = rights[0];
  g_fake.addedRight.assign(rights[0].Buffer, rights[0].Length / sizeof(WCHAR));
  g_fake.addedCount = count;
  return failing ? static_cast<NTSTATUS>(g_fake.failure.value) : 0;
}

NTSTATUS LsaClose(LSA_HANDLE policy) {
  bool failing = Call("LsaClose");
  if (policy != &g_policy || g_fake.openPolicies == 0) return STATUS_INVALID_HANDLE;
  --g_fake.openPolicies;  // a failing close still releases the handle, as Windows does
  return failing ? static_cast<NTSTATUS>(g_fake.failure.value) : 0;
}

BOOL LookupAccountNameW(const WCHAR* systemName, const WCHAR* accountName, PSID sid, DWORD* sidBytes,
                        WCHAR* domainName, DWORD* domainChars, SID_NAME_USE* use) {
  bool failing = Call("LookupAccountNameW");
  ++g_fake.lookups;
  g_fake.lookupSidBytes.push_back(*sidBytes);
  g_fake.lookupDomainChars.push_back(*domainChars);
  // The sizes the caller claims must be what its blocks hold.
  auto sidBlock = g_fake.liveBlocks.find(sid);
  auto domainBlock = g_fake.liveBlocks.find(domainName);
  if (systemName != nullptr || sidBlock == g_fake.liveBlocks.end() || sidBlock->second < *sidBytes ||
      domainBlock == g_fake.liveBlocks.end() || domainBlock->second < *domainChars * sizeof(WCHAR)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (failing) {
    SetLastError(g_fake.failure.value);
    return FALSE;
  }
  const FakeAccount* account = FindAccount(accountName);
  if (account == nullptr) {
    SetLastError(g_fake.unmappedError);
    return FALSE;
  }
  DWORD neededSid = static_cast<DWORD>(account->sid.size());
  DWORD neededDomain = account->claimedDomainChars != 0 ? account->claimedDomainChars
                                                        : static_cast<DWORD>(account->domain.size() + 1);
  if (*sidBytes < neededSid || *domainChars < neededDomain) {
    *sidBytes = neededSid;
    *domainChars = neededDomain;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(sid, account->sid.data(), neededSid);
  std::memcpy(domainName, account->domain.c_str(), neededDomain * sizeof(WCHAR));
  *domainChars = neededDomain - 1;
  *use = SidTypeUser;
  return TRUE;
}

#include "account/account_sid.h"

#include "common/scope_guard.h"

namespace {

constexpr DWORD kFirstSidBytes = 128;
constexpr DWORD kFirstDomainChars = 16;
// Past this a domain size in characters no longer converts to a byte count.
constexpr DWORD kMaxDomainChars = 0x7FFFFFFF;

}  // namespace

bool GetAccountSid(const WCHAR* accountName, PSID* sid) {
  *sid = nullptr;
  if (accountName[0] == 0) {
    SetLastError(ERROR_NONE_MAPPED);
    return false;
  }

  HANDLE heap = GetProcessHeap();
  DWORD sidBytes = kFirstSidBytes;
  DWORD domainChars = kFirstDomainChars;
  WCHAR* domain = nullptr;
  bool succeeded = false;

  auto cleanUp = MakeScopeGuard([&] {
    // The caller reads the lookup's error after we return.
    DWORD lastError = GetLastError();
    if (domain != nullptr) HeapFree(heap, 0, domain);
    if (!succeeded && *sid != nullptr) {
      HeapFree(heap, 0, *sid);
      *sid = nullptr;
    }
    SetLastError(lastError);
  });

  *sid = HeapAlloc(heap, 0, sidBytes);
  if (*sid == nullptr) return false;
  domain = static_cast<WCHAR*>(HeapAlloc(heap, 0, domainChars * sizeof(WCHAR)));
  if (domain == nullptr) return false;

  for (;;) {
    SID_NAME_USE use;
    if (LookupAccountNameW(nullptr, accountName, *sid, &sidBytes, domain, &domainChars, &use)) {
      succeeded = true;
      break;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;

    void* grownSid = HeapReAlloc(heap, 0, *sid, sidBytes);
    if (grownSid == nullptr) break;
    *sid = grownSid;

    if (domainChars > kMaxDomainChars) break;
    void* grownDomain = HeapReAlloc(heap, 0, domain, domainChars * sizeof(WCHAR));
    if (grownDomain == nullptr) break;
    domain = static_cast<WCHAR*>(grownDomain);
  }
  return succeeded;
}

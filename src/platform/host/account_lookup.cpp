// The account lookup over the host's account database (NSS included): users
// first, then groups, with the Windows contract for the caller's buffers.
#include <grp.h>
#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/host/host_sid.h"
#include "platform/host/utf.h"
#include "platform/security_authority.h"

namespace {

// The domain the lookup reports for every account: the host's name.
std::u16string HostDomain() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == 0) std::strcpy(name, "localhost");
  return Utf8ToUtf16String(name);
}

constexpr size_t kMaxLookupScratchBytes = 64u << 20;

// Runs a reentrant getpwnam/getgrnam, growing the scratch buffer for as long
// as the database answers ERANGE (an entry, not necessarily this one, does
// not fit), up to a bound no real entry comes near: a source that asked for
// ever would otherwise take all memory. False with ERROR_NONE_MAPPED when
// there is no such entry, with another code when the database could not
// answer.
template <typename Entry, typename Lookup>
bool FindEntry(const std::string& name, Lookup lookup, Entry* entry, DWORD* error) {
  std::vector<char> scratch(1024);
  for (;;) {
    Entry* found = nullptr;
    int result = lookup(name.c_str(), entry, scratch.data(), scratch.size(), &found);
    if (result == EINTR) continue;
    if (result == ERANGE && scratch.size() < kMaxLookupScratchBytes) {
      scratch.resize(scratch.size() * 2);  // throws when memory runs out
      continue;
    }
    if (result == 0 && found != nullptr) return true;
    bool missing = result == 0 || result == ENOENT || result == ESRCH || result == EBADF || result == EPERM;
    *error = missing ? ERROR_NONE_MAPPED : result == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INTERNAL_ERROR;
    return false;
  }
}

bool FindAccount(const std::string& name, unsigned char sid[kHostSidBytes], SID_NAME_USE* use, DWORD* error) {
  *error = ERROR_NONE_MAPPED;
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  passwd user;
  if (FindEntry(name, getpwnam_r, &user, error)) {
    MakeHostSid(kHostUserKind, user.pw_uid, sid);
    *use = SidTypeUser;
    return true;
  }
  if (*error != ERROR_NONE_MAPPED) return false;
  group group;
  if (FindEntry(name, getgrnam_r, &group, error)) {
    MakeHostSid(kHostGroupKind, group.gr_gid, sid);
    *use = SidTypeGroup;
    return true;
  }
  return false;
}

// "HOST\name" names the same account as "name", as "COMPUTER\name" does on Windows.
std::string WithoutHostPrefix(const std::string& name) {
  size_t slash = name.find('\\');
  if (slash == std::string::npos) return name;
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return name;
  if (slash == std::strlen(host) && strncasecmp(name.c_str(), host, slash) == 0) {
    return name.substr(slash + 1);
  }
  return name;
}

}  // namespace

BOOL LookupAccountNameW(const WCHAR* systemName, const WCHAR* accountName, PSID sid, DWORD* sidBytes,
                        WCHAR* domainName, DWORD* domainChars, SID_NAME_USE* use) {
  if ((systemName != nullptr && systemName[0] != 0) || accountName == nullptr || sidBytes == nullptr ||
      domainChars == nullptr || use == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size_t units = 0;
  while (accountName[units] != 0) ++units;
  unsigned char found[kHostSidBytes];
  SID_NAME_USE foundUse;
  std::u16string domain;
  try {
    std::string name;
    DWORD error = ERROR_NONE_MAPPED;
    if (!BytesOfName(accountName, units, &name) ||
        !FindAccount(WithoutHostPrefix(name), found, &foundUse, &error)) {
      SetLastError(error);
      return FALSE;
    }
    domain = HostDomain();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }

  DWORD neededDomainChars = static_cast<DWORD>(domain.size() + 1);
  if (sid == nullptr || *sidBytes < kHostSidBytes || domainName == nullptr ||
      *domainChars < neededDomainChars) {
    *sidBytes = kHostSidBytes;
    *domainChars = neededDomainChars;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(sid, found, kHostSidBytes);
  std::memcpy(domainName, domain.c_str(), neededDomainChars * sizeof(WCHAR));
  *sidBytes = kHostSidBytes;
  *domainChars = neededDomainChars - 1;  // on success, without the terminator
  *use = foundUse;
  return TRUE;
}

// The host's account lookup: host accounts as SIDs, with the Windows buffer contract.
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/host/host_sid.h"
#include "platform/host/utf.h"
#include "platform/security_authority.h"

namespace {

std::u16string HostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return Utf8ToUtf16String(name);
}

std::string SidText(const void* sid) {
  std::string text;
  EXPECT_TRUE(FormatSid(sid, &text));
  return text;
}

struct Lookup {
  BOOL found;
  DWORD error;
  DWORD sidBytes;
  DWORD domainChars;
  unsigned char sid[64];
  WCHAR domain[300];
  SID_NAME_USE use;
};

Lookup LookUp(const std::u16string& name, DWORD sidBytes, DWORD domainChars) {
  Lookup result;
  std::memset(&result, 0xA5, sizeof result);
  result.sidBytes = sidBytes;
  result.domainChars = domainChars;
  SetLastError(0);
  result.found = LookupAccountNameW(nullptr, name.c_str(), result.sid, &result.sidBytes, result.domain,
                                    &result.domainChars, &result.use);
  result.error = GetLastError();
  return result;
}

TEST(AccountLookup, ShortBuffersGetBothNeededSizes) {
  const std::u16string host = HostName();
  const DWORD shortSizes[][2] = {{4, 300}, {64, 1}, {0, 0}, {15, static_cast<DWORD>(host.size())}};
  for (const auto& sizes : shortSizes) {
    Lookup result = LookUp(u"root", sizes[0], sizes[1]);
    EXPECT_FALSE(result.found) << sizes[0] << "/" << sizes[1];
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, result.error) << sizes[0] << "/" << sizes[1];
    EXPECT_EQ(kHostSidBytes, result.sidBytes) << sizes[0] << "/" << sizes[1];
    EXPECT_EQ(host.size() + 1, result.domainChars) << sizes[0] << "/" << sizes[1];
  }
}

TEST(AccountLookup, UserMapsToItsUid) {
  const std::u16string host = HostName();
  Lookup result = LookUp(u"root", kHostSidBytes, static_cast<DWORD>(host.size() + 1));
  ASSERT_TRUE(result.found);
  EXPECT_EQ("S-1-22-1-0", SidText(result.sid));
  EXPECT_EQ(SidTypeUser, result.use);
  EXPECT_EQ(host, std::u16string(result.domain));
  EXPECT_EQ(host.size(), result.domainChars);

  Lookup prefixed = LookUp(host + u"\\root", 64, 300);
  ASSERT_TRUE(prefixed.found);
  EXPECT_EQ("S-1-22-1-0", SidText(prefixed.sid));
}

TEST(AccountLookup, GroupMapsToItsGid) {
  // A group whose name no user has.
  const group* found = nullptr;
  setgrent();
  while (const group* entry = getgrent()) {
    if (getpwnam(entry->gr_name) == nullptr) {
      found = entry;
      break;
    }
  }
  if (found == nullptr) GTEST_SKIP() << "every group here shares its name with a user";
  std::string name = found->gr_name;
  gid_t gid = found->gr_gid;
  endgrent();
  Lookup result = LookUp(Utf8ToUtf16String(name), 64, 300);
  ASSERT_TRUE(result.found) << name;
  EXPECT_EQ("S-1-22-2-" + std::to_string(gid), SidText(result.sid)) << name;
  EXPECT_EQ(SidTypeGroup, result.use) << name;
}

TEST(AccountLookup, UnknownNamesAreNotMapped) {
  const std::u16string names[] = {u"no-such-account-here", u"", u"ro\xD800ot", u"otherhost\\root"};
  for (const std::u16string& name : names) {
    Lookup result = LookUp(name, 64, 300);
    EXPECT_FALSE(result.found) << name.size();
    EXPECT_EQ(ERROR_NONE_MAPPED, result.error) << name.size();
    EXPECT_EQ(64u, result.sidBytes) << name.size();
  }
}

}  // namespace

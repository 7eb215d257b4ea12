// Resolving an account name to a SID in a block of the process heap.
#include <gtest/gtest.h>

#include <cstring>

#include "account/account_sid.h"
#include "fake/fake_platform.h"

namespace {

// A SID-shaped block of `bytes` bytes whose bytes can be told apart.
std::vector<unsigned char> SidOfSize(size_t bytes) {
  std::vector<unsigned char> sid(bytes);
  for (size_t i = 0; i < bytes; ++i) sid[i] = static_cast<unsigned char>(i * 7 + 1);
  sid[0] = 1;
  sid[1] = static_cast<unsigned char>((bytes - 8) / 4);
  return sid;
}

PSID const kPoison = reinterpret_cast<PSID>(0x5EED);
constexpr DWORD kEarlierError = 0xE0E0;

class AccountSidTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFake(); }
  void TearDown() override { ResetFake(); }
};

struct GrowthCase {
  const char* name;
  size_t sidBytes;
  size_t domainChars;  // without the terminator
  int lookups;
};

TEST_F(AccountSidTest, GrowsBuffersToTheSizesTheLookupReports) {
  const GrowthCase cases[] = {
      {"fits the first sizes", 16, 15, 1},
      {"longer domain", 16, 40, 2},
      {"larger SID", 200, 4, 2},
      {"both larger", 300, 100, 2},
  };
  for (const GrowthCase& row : cases) {
    ResetFake();
    std::vector<unsigned char> expected = SidOfSize(row.sidBytes);
    Fake().accounts.push_back({u"alice", expected, std::u16string(row.domainChars, u'D')});
    PSID sid = kPoison;
    ASSERT_TRUE(GetAccountSid(u"alice", &sid)) << row.name;
    ASSERT_NE(nullptr, sid) << row.name;
    EXPECT_EQ(0, std::memcmp(expected.data(), sid, expected.size())) << row.name;
    EXPECT_EQ(row.lookups, Fake().lookups) << row.name;
    EXPECT_EQ(128u, Fake().lookupSidBytes[0]) << row.name;
    EXPECT_EQ(16u, Fake().lookupDomainChars[0]) << row.name;
    if (row.lookups == 2) {
      EXPECT_EQ(row.sidBytes, Fake().lookupSidBytes[1]) << row.name;
      EXPECT_EQ(row.domainChars + 1, Fake().lookupDomainChars[1]) << row.name;
    } else {
      EXPECT_EQ(0, CountCalls("HeapReAlloc")) << row.name;
    }
    // Only the SID block is left, and it is the caller's.
    ASSERT_EQ(1u, Fake().liveBlocks.size()) << row.name;
    EXPECT_EQ(1u, Fake().liveBlocks.count(sid)) << row.name;
    HeapFree(GetProcessHeap(), 0, sid);
  }
}

TEST_F(AccountSidTest, UnmappedNameLeavesTheLookupsErrorAndNothingAllocated) {
  const DWORD codes[] = {ERROR_NONE_MAPPED, 1789 /* trust relationship failed */};
  for (DWORD code : codes) {
    ResetFake();
    Fake().unmappedError = code;
    PSID sid = kPoison;
    EXPECT_FALSE(GetAccountSid(u"nobody-here", &sid)) << code;
    EXPECT_EQ(code, GetLastError()) << code;
    EXPECT_EQ(nullptr, sid) << code;
    EXPECT_TRUE(Fake().liveBlocks.empty()) << code;
    EXPECT_EQ(0, Fake().badFrees) << code;
  }
}

TEST_F(AccountSidTest, EmptyNameIsNotLookedUp) {
  SetLastError(kEarlierError);
  PSID sid = kPoison;
  EXPECT_FALSE(GetAccountSid(u"", &sid));
  EXPECT_EQ(ERROR_NONE_MAPPED, GetLastError());
  EXPECT_EQ(nullptr, sid);
  EXPECT_EQ(0, Fake().lookups);
  EXPECT_EQ(0, CountCalls("HeapAlloc"));
}

// Each allocation and resize of a growing lookup fails in turn: every block
// is released and the last error is what it was, never one of our own.
TEST_F(AccountSidTest, EachHeapFailureReleasesEverything) {
  const struct {
    const char* call;
    int occurrence;
    int lookups;        // made before the failure
    DWORD errorBefore;  // the last error the failure leaves in place
  } cases[] = {
      {"HeapAlloc", 1, 0, kEarlierError},
      {"HeapAlloc", 2, 0, kEarlierError},
      {"HeapReAlloc", 1, 1, ERROR_INSUFFICIENT_BUFFER},
      {"HeapReAlloc", 2, 1, ERROR_INSUFFICIENT_BUFFER},
  };
  for (const auto& row : cases) {
    ResetFake();
    Fake().accounts.push_back({u"alice", SidOfSize(200), std::u16string(40, u'D')});
    Fake().failure = {row.call, row.occurrence, 0};
    SetLastError(kEarlierError);
    PSID sid = kPoison;
    std::string name = std::string(row.call) + " #" + std::to_string(row.occurrence);
    EXPECT_FALSE(GetAccountSid(u"alice", &sid)) << name;
    EXPECT_EQ(nullptr, sid) << name;
    EXPECT_TRUE(Fake().liveBlocks.empty()) << name;
    EXPECT_EQ(0, Fake().badFrees) << name;
    EXPECT_EQ(row.errorBefore, GetLastError()) << name;
    EXPECT_EQ(row.lookups, Fake().lookups) << name;
  }
}

// A domain size whose byte count does not fit 32 bits would wrap to a small
// block that the lookup then overruns; it fails like a resize.
TEST_F(AccountSidTest, DomainSizeTooLargeToAllocateFails) {
  FakeAccount account{u"alice", SidOfSize(16), u"D"};
  account.claimedDomainChars = 0x80000001;
  Fake().accounts.push_back(account);
  PSID sid = kPoison;
  EXPECT_FALSE(GetAccountSid(u"alice", &sid));
  EXPECT_EQ(nullptr, sid);
  EXPECT_EQ(1, Fake().lookups);
  EXPECT_TRUE(Fake().liveBlocks.empty());
}

}  // namespace

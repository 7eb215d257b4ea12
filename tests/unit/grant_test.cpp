// The grant sequence: open, resolve, add, close, release, and one report.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "driver/grant.h"
#include "fake/fake_platform.h"
#include "unit/stderr_capture.h"

namespace {

const std::vector<unsigned char> kAliceSid = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0};

NameBuffer Name(const std::u16string& text) {
  NameBuffer buffer = {};
  std::copy(text.begin(), text.end(), buffer.units);
  return buffer;
}

class GrantTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFake();
    Fake().accounts.push_back({u"alice", kAliceSid, u"HOST"});
    Fake().messages[ERROR_ACCESS_DENIED] = "Access is denied.\r\n";
    Fake().messages[ERROR_NONE_MAPPED] = "No mapping between account names and security IDs was done.\r\n";
    Fake().messages[ERROR_NO_SUCH_PRIVILEGE] = "A specified privilege does not exist.\r\n";
  }
  void TearDown() override { ResetFake(); }

  // Runs a grant, returns its exit status and what reached stderr.
  int Grant(const std::u16string& account, const std::u16string& rightName, std::string* err) {
    account_ = Name(account);
    right_ = Name(rightName);
    StderrCapture capture;
    int status = GrantRight(&account_, &right_);
    *err = capture.Finish();
    return status;
  }

  // The security calls and the releases, in the order made.
  std::vector<std::string> Sequence() {
    std::vector<std::string> sequence;
    for (const std::string& call : Fake().calls) {
      if (call.rfind("Lsa", 0) == 0 || call == "LookupAccountNameW" || call == "HeapFree") {
        sequence.push_back(call);
      }
    }
    return sequence;
  }

  NameBuffer account_;
  NameBuffer right_;
};

struct GrantCase {
  const char* name;
  FakePlatform::Failure failure;
  std::u16string account;
  int exitStatus;
  const char* report;
  std::vector<std::string> sequence;
};

TEST_F(GrantTest, EachStepsFailureIsReportedOnceAndEverythingReleased) {
  const GrantCase cases[] = {
      {"granted",
       {},
       u"alice",
       0,
       "",
       {"LsaOpenPolicy", "LookupAccountNameW", "HeapFree", "LsaAddAccountRights", "LsaClose", "HeapFree"}},
      {"open refused",
       {"LsaOpenPolicy", 1, 0xC0000022},
       u"alice",
       13,
       "OpenPolicy error!\nAccess is denied.\r\n",
       {"LsaOpenPolicy"}},
      {"account unmapped",
       {},
       u"bob",
       13,
       "GetAccountSid error!\nNo mapping between account names and security IDs was done.\r\n",
       {"LsaOpenPolicy", "LookupAccountNameW", "HeapFree", "HeapFree", "LsaClose"}},
      {"empty account",
       {},
       u"",
       13,
       "GetAccountSid error!\nNo mapping between account names and security IDs was done.\r\n",
       {"LsaOpenPolicy", "LsaClose"}},
      {"add refused",
       {"LsaAddAccountRights", 1, 0xC0000060},
       u"alice",
       13,
       "AddUserRightToAccount error!\nA specified privilege does not exist.\r\n",
       {"LsaOpenPolicy", "LookupAccountNameW", "HeapFree", "LsaAddAccountRights", "LsaClose", "HeapFree"}},
  };
  for (const GrantCase& row : cases) {
    SetUp();
    Fake().failure = row.failure;
    std::string err;
    EXPECT_EQ(row.exitStatus, Grant(row.account, u"SeServiceLogonRight", &err)) << row.name;
    EXPECT_EQ(row.report, err) << row.name;
    EXPECT_EQ(row.sequence, Sequence()) << row.name;
    EXPECT_EQ(0, Fake().openPolicies) << row.name;
    EXPECT_TRUE(Fake().liveBlocks.empty()) << row.name;
    EXPECT_EQ(0, Fake().badFrees) << row.name;
    EXPECT_EQ(0, Fake().liveTexts) << row.name;
  }
}

TEST_F(GrantTest, OpensTheLocalPolicyWithZeroedAttributes) {
  std::string err;
  ASSERT_EQ(0, Grant(u"alice", u"SeServiceLogonRight", &err));
  EXPECT_FALSE(Fake().openHadSystemName);
  EXPECT_EQ(0x810u, Fake().openAccess);
  const LSA_OBJECT_ATTRIBUTES& attributes = Fake().openAttributes;
  EXPECT_EQ(0u, attributes.Length);
  EXPECT_EQ(nullptr, attributes.RootDirectory);
  EXPECT_EQ(nullptr, attributes.ObjectName);
  EXPECT_EQ(0u, attributes.Attributes);
  EXPECT_EQ(nullptr, attributes.SecurityDescriptor);
  EXPECT_EQ(nullptr, attributes.SecurityQualityOfService);
}

TEST_F(GrantTest, DescribesTheRightInPlace) {
  const std::u16string rights[] = {u"SeServiceLogonRight", u"", std::u16string(255, u'R')};
  for (const std::u16string& right : rights) {
    SetUp();
    std::string err;
    ASSERT_EQ(0, Grant(u"alice", right, &err)) << right.size();
    const LSA_UNICODE_STRING& described = Fake().addedDescriptor;
    EXPECT_EQ(right.size() * 2, described.Length) << right.size();
    EXPECT_EQ(right.size() * 2 + 2, described.MaximumLength) << right.size();
    EXPECT_EQ(right_.units, described.Buffer) << right.size();
    EXPECT_EQ(right, Fake().addedRight) << right.size();
    EXPECT_EQ(1u, Fake().addedCount) << right.size();
    EXPECT_EQ(kAliceSid, Fake().addedSid) << right.size();
  }
}

// The platform calls of a good grant, each made to fail in turn with each
// failure worth telling apart: one report naming the right step and code,
// exit status 13, the policy closed exactly when it was opened, nothing left.
struct CallFailure {
  const char* call;
  uint32_t value;    // the status or last error the call fails with
  const char* step;  // the step reported; null where the failure is ignored
  DWORD code;        // the code the report shows
};

constexpr DWORD kEarlierError = 0x0BAD;

const CallFailure kCallFailures[] = {
    {"LsaOpenPolicy", 0xC0000022, "OpenPolicy", 5},
    {"LsaOpenPolicy", 0xC0000017, "OpenPolicy", 8},
    {"LsaOpenPolicy", 0xC00000E4, "OpenPolicy", 1358},
    {"LsaOpenPolicy", 0xC000007F, "OpenPolicy", 112},
    {"LsaOpenPolicy", 0xC000000D, "OpenPolicy", 87},
    {"LsaOpenPolicy", 0xC0000001, "OpenPolicy", 317},
    {"HeapAlloc", 0, "GetAccountSid", kEarlierError},
    {"HeapReAlloc", 0, "GetAccountSid", ERROR_INSUFFICIENT_BUFFER},
    {"LookupAccountNameW", ERROR_NONE_MAPPED, "GetAccountSid", ERROR_NONE_MAPPED},
    {"LookupAccountNameW", 1789, "GetAccountSid", 1789},
    {"LookupAccountNameW", ERROR_NOT_ENOUGH_MEMORY, "GetAccountSid", ERROR_NOT_ENOUGH_MEMORY},
    {"LsaAddAccountRights", 0xC0000060, "AddUserRightToAccount", 1313},
    {"LsaAddAccountRights", 0xC0000022, "AddUserRightToAccount", 5},
    {"LsaAddAccountRights", 0xC00000E4, "AddUserRightToAccount", 1358},
    {"LsaAddAccountRights", 0xC000007F, "AddUserRightToAccount", 112},
    {"LsaAddAccountRights", 0xC000000D, "AddUserRightToAccount", 87},
    {"LsaAddAccountRights", 0xC0000017, "AddUserRightToAccount", 8},
    {"LsaAddAccountRights", 0xC0000008, "AddUserRightToAccount", 6},
    {"LsaAddAccountRights", 0xC0000055, "AddUserRightToAccount", 33},
    {"LsaAddAccountRights", 0xC0000904, "AddUserRightToAccount", 223},
    {"LsaAddAccountRights", 0xC0000001, "AddUserRightToAccount", 317},
    {"LsaClose", 0xC0000008, nullptr, 0},
};

TEST_F(GrantTest, EachPlatformCallFailingInTurnEndsInOneReport) {
  // A lookup that grows both buffers, so every kind of call is made.
  Fake().accounts[0].domain = std::u16string(40, u'D');
  std::string err;
  ASSERT_EQ(0, Grant(u"alice", u"SeServiceLogonRight", &err));
  const std::vector<std::string> goodRun = Fake().calls;

  int injected = 0;
  std::map<std::string, int> seen;
  for (const std::string& call : goodRun) {
    const int occurrence = ++seen[call];
    for (const CallFailure& row : kCallFailures) {
      if (call != row.call) continue;
      SetUp();
      Fake().accounts[0].domain = std::u16string(40, u'D');
      Fake().failure = {row.call, occurrence, row.value};
      SetLastError(kEarlierError);
      const std::string name =
          call + " #" + std::to_string(occurrence) + " failing with " + std::to_string(row.value);
      ++injected;

      const int status = Grant(u"alice", u"SeServiceLogonRight", &err);
      if (row.step == nullptr) {
        EXPECT_EQ(0, status) << name;
        EXPECT_EQ("", err) << name;
      } else {
        EXPECT_EQ(13, status) << name;
        EXPECT_EQ(0u, err.rfind(std::string(row.step) + " error!\n", 0)) << name << ": " << err;
        EXPECT_EQ(1u, Fake().formattedCodes.size()) << name << ": one report";
        if (!Fake().formattedCodes.empty()) {
          EXPECT_EQ(row.code, Fake().formattedCodes[0]) << name;
        }
      }
      const bool opened = !(call == "LsaOpenPolicy");
      EXPECT_EQ(opened ? 1 : 0, CountCalls("LsaClose")) << name;
      EXPECT_EQ(0, Fake().openPolicies) << name;
      EXPECT_TRUE(Fake().liveBlocks.empty()) << name;
      EXPECT_EQ(0, Fake().badFrees) << name;
      EXPECT_EQ(0, Fake().liveTexts) << name;
    }
  }
  // Every row met a call of the good run: 6 opens, 2 allocations, 2 resizes,
  // 3 failures of each of the 2 lookups, 10 adds, 1 close.
  EXPECT_EQ(6 + 2 + 2 + 3 * 2 + 10 + 1, injected);
}

}  // namespace

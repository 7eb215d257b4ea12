// The host's local policy: opening, adding rights, and the store on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "platform/host/host_sid.h"
#include "platform/host/policy_store.h"
#include "platform/security_authority.h"
#include "support/process.h"

namespace {

const NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022);
const NTSTATUS kNoSuchPrivilege = static_cast<NTSTATUS>(0xC0000060);
const NTSTATUS kCorrupt = static_cast<NTSTATUS>(0xC00000E4);

class PolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTemporaryFolder();
    store_ = folder_ + "/policy";
    setenv("GRANTRIGHT_POLICY_STORE", store_.c_str(), 1);
    MakeHostSid(kHostUserKind, 0, rootSid_);
    MakeHostSid(kHostUserKind, 1000, userSid_);
  }
  void TearDown() override {
    g_storeWriteHook = nullptr;
    unsetenv("GRANTRIGHT_POLICY_STORE");
    RemoveTree(folder_);
  }

  NTSTATUS Add(unsigned char* sid, const std::u16string& right) {
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = nullptr;
    NTSTATUS status = LsaOpenPolicy(nullptr, &attributes, 0x810, &policy);
    if (status != 0) return status;
    std::u16string copy = right;
    LSA_UNICODE_STRING name = {static_cast<USHORT>(copy.size() * 2), static_cast<USHORT>(copy.size() * 2 + 2),
                               &copy[0]};
    status = LsaAddAccountRights(policy, sid, &name, 1);
    EXPECT_EQ(0, LsaClose(policy));
    return status;
  }

  bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
  }

  std::string folder_;
  std::string store_;
  unsigned char rootSid_[kHostSidBytes];
  unsigned char userSid_[kHostSidBytes];
};

TEST_F(PolicyTest, AddsEachGrantOnce) {
  EXPECT_EQ(0, Add(rootSid_, u"SeServiceLogonRight"));
  EXPECT_EQ("S-1-22-1-0 SeServiceLogonRight\n", ReadWholeFile(store_));
  EXPECT_EQ(0, Add(rootSid_, u"SeServiceLogonRight"));
  EXPECT_EQ(0, Add(userSid_, u"SeBatchLogonRight"));
  EXPECT_EQ(0, Add(rootSid_, u"SeServiceLogonRight"));
  EXPECT_EQ("S-1-22-1-0 SeServiceLogonRight\nS-1-22-1-1000 SeBatchLogonRight\n", ReadWholeFile(store_));

  for (const std::string& file : {store_, store_ + ".lock"}) {
    struct stat info;
    ASSERT_EQ(0, stat(file.c_str(), &info)) << file;
    EXPECT_EQ(0u, info.st_mode & 022) << file << ": only the owner writes";
  }
  EXPECT_FALSE(Exists(store_ + ".tmp"));
}

TEST_F(PolicyTest, UnknownRightsAreRefused) {
  const std::u16string rights[] = {u"", u"seservicelogonright", u"SeServiceLogonRight ", u"SeNoSuchRight",
                                   u"SeServiceLogon\u00C9"};
  for (const std::u16string& right : rights) {
    EXPECT_EQ(kNoSuchPrivilege, Add(rootSid_, right)) << right.size();
  }
  EXPECT_FALSE(Exists(store_));
}

TEST_F(PolicyTest, StoreThatDoesNotParseIsLeftAsItIs) {
  const std::string stores[] = {
      "garbage\n",
      "S-1-22-1-0 SeServiceLogonRight",  // torn last line
      "S-1-22-1-0  SeServiceLogonRight\n",
      "S-1-22-1-0\n",
      "S-1-22-1-x SeServiceLogonRight\n",
      "S-1-22-1-0 SeServiceLogonRight\n\n",
      std::string("S-1-22-1-0 SeService\0LogonRight\n", 32),
  };
  for (const std::string& content : stores) {
    WriteWholeFile(store_, content);
    EXPECT_EQ(kCorrupt, Add(rootSid_, u"SeServiceLogonRight")) << content;
    EXPECT_EQ(content, ReadWholeFile(store_)) << content;
  }
}

TEST_F(PolicyTest, StoreSpoiledAfterOpeningIsLeftAsItIs) {
  LSA_OBJECT_ATTRIBUTES attributes = {};
  LSA_HANDLE policy = nullptr;
  ASSERT_EQ(0, LsaOpenPolicy(nullptr, &attributes, 0x810, &policy));
  WriteWholeFile(store_, "spoiled");
  std::u16string right = u"SeServiceLogonRight";
  LSA_UNICODE_STRING name = {38, 40, &right[0]};
  EXPECT_EQ(kCorrupt, LsaAddAccountRights(policy, rootSid_, &name, 1));
  EXPECT_EQ(0, LsaClose(policy));
  EXPECT_EQ("spoiled", ReadWholeFile(store_));
}

TEST_F(PolicyTest, NeverFollowsALinkOrWritesIntoAFolder) {
  std::string target = folder_ + "/elsewhere";
  WriteWholeFile(target, "kept\n");
  ASSERT_EQ(0, symlink(target.c_str(), store_.c_str()));
  EXPECT_EQ(kAccessDenied, Add(rootSid_, u"SeServiceLogonRight"));
  EXPECT_EQ("kept\n", ReadWholeFile(target));
  unlink(store_.c_str());

  ASSERT_EQ(0, mkdir(store_.c_str(), 0755));
  EXPECT_EQ(kCorrupt, Add(rootSid_, u"SeServiceLogonRight"));
  rmdir(store_.c_str());

  // A link planted as the lock is refused; one planted as the temporary file
  // is removed, never written through.
  ASSERT_EQ(0, symlink(target.c_str(), (store_ + ".lock").c_str()));
  EXPECT_EQ(kAccessDenied, Add(rootSid_, u"SeServiceLogonRight"));
  unlink((store_ + ".lock").c_str());
  ASSERT_EQ(0, symlink(target.c_str(), (store_ + ".tmp").c_str()));
  EXPECT_EQ(0, Add(rootSid_, u"SeServiceLogonRight"));
  EXPECT_EQ("S-1-22-1-0 SeServiceLogonRight\n", ReadWholeFile(store_));
  EXPECT_FALSE(Exists(store_ + ".tmp"));
  EXPECT_EQ("kept\n", ReadWholeFile(target));
}

// Runs `check` in a child process that may not write the store's folder:
// as nobody when the tests run as root, else with the folder made read-only.
int InChildWithoutWriteAccess(const std::string& folder, const std::function<int()>& check) {
  pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
    } else {
      chmod(folder.c_str(), 0555);
    }
    _exit(check());
  }
  int status = 0;
  waitpid(child, &status, 0);
  chmod(folder.c_str(), 0755);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST_F(PolicyTest, OpenIsRefusedWithoutWriteAccess) {
  chmod(folder_.c_str(), 0755);
  int result = InChildWithoutWriteAccess(folder_, [] {
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = reinterpret_cast<LSA_HANDLE>(1);
    NTSTATUS status = LsaOpenPolicy(nullptr, &attributes, 0x810, &policy);
    return status == static_cast<NTSTATUS>(0xC0000022) && policy == nullptr ? 0 : 1;
  });
  EXPECT_EQ(0, result);
  EXPECT_FALSE(Exists(store_));
}

const StoreWritePoint kWritePoints[] = {StoreWritePoint::kTemporaryWritten, StoreWritePoint::kTemporaryFlushed,
                                        StoreWritePoint::kBeforeRename, StoreWritePoint::kAfterRename};

StoreWritePoint g_failAt;

TEST_F(PolicyTest, WriteFailingAtEachPointKeepsTheOldStore) {
  const std::string before = "S-1-22-1-1000 SeBatchLogonRight\n";
  for (StoreWritePoint point : kWritePoints) {
    WriteWholeFile(store_, before);
    g_failAt = point;
    g_storeWriteHook = [](StoreWritePoint reached) { return reached != g_failAt; };
    NTSTATUS status = Add(rootSid_, u"SeServiceLogonRight");
    int at = static_cast<int>(point);
    if (point == StoreWritePoint::kAfterRename) {
      EXPECT_EQ(0, status) << "point " << at;
      EXPECT_EQ(before + "S-1-22-1-0 SeServiceLogonRight\n", ReadWholeFile(store_)) << "point " << at;
    } else {
      EXPECT_NE(0, status) << "point " << at;
      EXPECT_EQ(before, ReadWholeFile(store_)) << "point " << at;
    }
    EXPECT_FALSE(Exists(store_ + ".tmp")) << "point " << at;
  }
}

TEST_F(PolicyTest, WriterKilledAtEachPointLeavesAWholeStore) {
  const std::string before = "S-1-22-1-1000 SeBatchLogonRight\n";
  const std::string after = before + "S-1-22-1-0 SeServiceLogonRight\n";
  for (StoreWritePoint point : kWritePoints) {
    WriteWholeFile(store_, before);
    g_failAt = point;
    pid_t child = fork();
    if (child == 0) {
      g_storeWriteHook = [](StoreWritePoint reached) {
        if (reached == g_failAt) kill(getpid(), SIGKILL);
        return true;
      };
      Add(rootSid_, u"SeServiceLogonRight");
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    int at = static_cast<int>(point);
    ASSERT_TRUE(WIFSIGNALED(status)) << "point " << at;
    std::string content = ReadWholeFile(store_);
    EXPECT_TRUE(content == before || content == after) << "point " << at << ": " << content;
    // The next grant is not confused by what the killed one left.
    EXPECT_EQ(0, Add(userSid_, u"SeTcbPrivilege")) << "point " << at;
    EXPECT_EQ(content + "S-1-22-1-1000 SeTcbPrivilege\n", ReadWholeFile(store_)) << "point " << at;
    EXPECT_FALSE(Exists(store_ + ".tmp")) << "point " << at;
  }
}

}  // namespace

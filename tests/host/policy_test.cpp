// The host's local policy: opening, adding rights, and the store on disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
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
const NTSTATUS kLockNotGranted = static_cast<NTSTATUS>(0xC0000055);
const NTSTATUS kFileTooLarge = static_cast<NTSTATUS>(0xC0000904);

const unsigned kLockWait = g_storeLockWaitMilliseconds;

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
    g_storeLockWaitMilliseconds = kLockWait;
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

  struct stat info;
  ASSERT_EQ(0, stat(store_.c_str(), &info));
  EXPECT_EQ(0u, info.st_mode & 022) << "only the owner writes the store";
  ASSERT_EQ(0, stat((store_ + ".wlock").c_str(), &info));
  EXPECT_EQ(0u, info.st_mode & 077) << "only the owner may open the lock";
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
  ASSERT_EQ(0, symlink(target.c_str(), (store_ + ".wlock").c_str()));
  EXPECT_EQ(kAccessDenied, Add(rootSid_, u"SeServiceLogonRight"));
  unlink((store_ + ".wlock").c_str());
  ASSERT_EQ(0, symlink(target.c_str(), (store_ + ".tmp").c_str()));
  EXPECT_EQ(0, Add(rootSid_, u"SeServiceLogonRight"));
  EXPECT_EQ("S-1-22-1-0 SeServiceLogonRight\n", ReadWholeFile(store_));
  EXPECT_FALSE(Exists(store_ + ".tmp"));
  EXPECT_EQ("kept\n", ReadWholeFile(target));
}

// A replaced store keeps the old one's mode, owner and group.
TEST_F(PolicyTest, ReplacedStoreKeepsModeOwnerAndGroup) {
  const bool root = geteuid() == 0;
  const struct {
    const char* name;
    mode_t mode;
    uid_t owner;  // when the tests run as root
    gid_t group;
  } cases[] = {
      {"0640 root:adm", 0640, 0, 4},
      {"0600 daemon:daemon", 0600, 1, 1},
      {"0604 root:root", 0604, 0, 0},
      {"0660 bin:sys", 0660, 2, 3},
  };
  for (const auto& row : cases) {
    WriteWholeFile(store_, "S-1-22-1-1000 SeBatchLogonRight\n");
    uid_t owner = root ? row.owner : geteuid();
    gid_t group = root ? row.group : getegid();
    ASSERT_EQ(0, chown(store_.c_str(), owner, group)) << row.name;
    ASSERT_EQ(0, chmod(store_.c_str(), row.mode)) << row.name;
    EXPECT_EQ(0, Add(rootSid_, u"SeServiceLogonRight")) << row.name;
    EXPECT_EQ("S-1-22-1-1000 SeBatchLogonRight\nS-1-22-1-0 SeServiceLogonRight\n", ReadWholeFile(store_))
        << row.name;
    struct stat info;
    ASSERT_EQ(0, stat(store_.c_str(), &info)) << row.name;
    EXPECT_EQ(row.mode, info.st_mode & 07777) << row.name;
    EXPECT_EQ(owner, info.st_uid) << row.name;
    EXPECT_EQ(group, info.st_gid) << row.name;
    unlink(store_.c_str());
  }
}

// A store is never written past what the next read accepts: the grant that
// would is refused and the store stays as it was; one that fits exactly is
// made and the store still reads.
TEST_F(PolicyTest, NoStoreIsWrittenPastTheReadLimit) {
  const std::string line = "S-1-22-1-1000 SeBatchLogonRight\n";  // 32 bytes
  const size_t added = std::string("S-1-22-1-0 SeServiceLogonRight\n").size();
  const struct {
    const char* name;
    size_t before;
    NTSTATUS status;
  } cases[] = {
      {"fits exactly", kMaxPolicyStoreBytes - added, 0},
      {"one byte over", kMaxPolicyStoreBytes - added + 1, kFileTooLarge},
  };
  for (const auto& row : cases) {
    // Whole lines, then one whose right pads the store to the size wanted.
    const size_t lines = kMaxPolicyStoreBytes / line.size() - 2;
    std::string content;
    content.reserve(row.before);
    for (size_t i = 0; i < lines; ++i) content += line;
    content += "S-1-22-1-1000 " + std::string(row.before - content.size() - 15, 'X') + "\n";
    ASSERT_EQ(row.before, content.size()) << row.name;
    WriteWholeFile(store_, content);
    EXPECT_EQ(row.status, Add(rootSid_, u"SeServiceLogonRight")) << row.name;
    if (row.status == 0) {
      EXPECT_EQ(kMaxPolicyStoreBytes, ReadWholeFile(store_).size()) << row.name;
      EXPECT_EQ(0, Add(rootSid_, u"SeServiceLogonRight")) << row.name << ": the store still reads";
    } else {
      EXPECT_TRUE(content == ReadWholeFile(store_)) << row.name << ": the store changed";
    }
    EXPECT_FALSE(Exists(store_ + ".tmp")) << row.name;
  }
}

// A grant that holds the lock: a child stopped in the middle of its write.
pid_t StartGrantHoldingTheLock(unsigned char* sid) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test ended by its alarm
    static int readyFd;
    readyFd = ready[1];
    g_storeWriteHook = [](StoreWritePoint) {
      if (write(readyFd, "x", 1) != 1) _exit(97);
      pause();
      return true;
    };
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = nullptr;
    if (LsaOpenPolicy(nullptr, &attributes, 0x810, &policy) != 0) _exit(96);
    std::u16string right = u"SeTcbPrivilege";
    LSA_UNICODE_STRING name = {28, 30, &right[0]};
    LsaAddAccountRights(policy, sid, &name, 1);
    _exit(95);
  }
  close(ready[1]);
  char byte;
  if (read(ready[0], &byte, 1) != 1) child = -1;
  close(ready[0]);
  return child;
}

void StopChild(pid_t child) {
  kill(child, SIGKILL);
  int status;
  waitpid(child, &status, 0);
}

// A grant waits for the lock only so long, then fails and leaves the store.
// (A grant that waited for ever is ended by the alarm, failing the test.)
TEST_F(PolicyTest, WaitForTheLockIsBounded) {
  WriteWholeFile(store_, "S-1-22-1-1000 SeBatchLogonRight\n");
  pid_t holder = StartGrantHoldingTheLock(userSid_);
  ASSERT_GT(holder, 0);
  g_storeLockWaitMilliseconds = 200;
  alarm(20);
  EXPECT_EQ(kLockNotGranted, Add(rootSid_, u"SeServiceLogonRight"));
  alarm(0);
  StopChild(holder);
  EXPECT_EQ("S-1-22-1-1000 SeBatchLogonRight\n", ReadWholeFile(store_));
  EXPECT_EQ(0, Add(rootSid_, u"SeServiceLogonRight")) << "the lock is free again";
}

// Someone who may read the store's folder but not write the store can
// neither take its lock nor stall a grant. The neighbour opens a lock file
// before the grant and takes whatever lock it can on it: the grant's own
// lock keeps it out; the readable lock of an earlier version is no longer
// the lock; a readable file in the lock's place is refused at once.
TEST_F(PolicyTest, OnlyThoseWhoMayWriteTheStoreCanTakeItsLock) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a neighbour as another user";
  chmod(folder_.c_str(), 0755);
  const struct {
    const char* name;
    const char* suffix;   // the file the neighbour opens
    bool readableBefore;  // made 0644 before the grant, else left to a first grant
    NTSTATUS status;      // the grant's
    bool mayTake;         // whether the neighbour can take a lock on that file
  } cases[] = {
      {"lock made by a grant", ".wlock", false, 0, false},
      {"earlier version's readable lock", ".lock", true, 0, true},
      {"readable file in the lock's place", ".wlock", true, kAccessDenied, true},
  };
  for (const auto& row : cases) {
    const std::string lock = store_ + row.suffix;
    unlink(lock.c_str());
    unlink((store_ + ".wlock").c_str());
    if (row.readableBefore) {
      WriteWholeFile(lock, "");
      chmod(lock.c_str(), 0644);
    } else {
      ASSERT_EQ(0, Add(userSid_, u"SeBatchLogonRight")) << row.name;
    }
    const std::string before = ReadWholeFile(store_);
    // The neighbour takes whatever lock it can, tells how, and holds it.
    int told[2];
    ASSERT_EQ(0, pipe(told));
    pid_t neighbour = fork();
    if (neighbour == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
      char taken = 'n';
      int fd = open(lock.c_str(), O_RDONLY);
      if (fd >= 0) {
        struct flock request = {};
        request.l_type = F_RDLCK;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) taken = 'f';
        if (fcntl(fd, F_OFD_SETLK, &request) == 0) taken = 'r';
      }
      if (write(told[1], &taken, 1) != 1) _exit(98);
      pause();
      _exit(0);
    }
    close(told[1]);
    char taken = '?';
    ASSERT_EQ(1, read(told[0], &taken, 1)) << row.name;
    close(told[0]);
    g_storeLockWaitMilliseconds = 500;
    alarm(20);
    EXPECT_EQ(row.status, Add(rootSid_, u"SeServiceLogonRight")) << row.name;
    alarm(0);
    StopChild(neighbour);
    EXPECT_EQ(row.mayTake, taken != 'n') << row.name << ": the neighbour's lock ('f' flock, 'r' read lock)";
    if (row.status != 0) {
      EXPECT_EQ(before, ReadWholeFile(store_)) << row.name << ": the store changed";
    }
    g_storeLockWaitMilliseconds = kLockWait;
    unlink(store_.c_str());
    unlink(lock.c_str());
  }
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

const StoreWritePoint kWritePoints[] = {StoreWritePoint::kTemporaryWritten,
                                        StoreWritePoint::kTemporaryFlushed, StoreWritePoint::kBeforeRename,
                                        StoreWritePoint::kAfterRename};

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

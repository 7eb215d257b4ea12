// The host program as a process: exit status, the exact bytes on each
// stream, and what the policy store holds afterwards.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include <string>
#include <vector>

#include "support/process.h"

namespace {

const std::string kExe = GRANTRIGHT_HOST_EXE;
const std::string kUsage = "Usage: " + kExe + " -u <user> +r SeServiceLogonRight\n";
const std::string kUnmapped = "GetAccountSid error!\nNo mapping between account names and security IDs was done.\n";
const std::string kNoSuchRight = "AddUserRightToAccount error!\nA specified privilege does not exist.\n";
const std::string kDenied = "OpenPolicy error!\nAccess is denied.\n";
const std::string kCorrupt =
    "OpenPolicy error!\nUnable to complete the requested operation because of either a catastrophic media "
    "failure or a data structure corruption on the disk.\n";

class HostE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTemporaryFolder();
    chmod(folder_.c_str(), 0755);
    store_ = folder_ + "/policy";
  }
  void TearDown() override { RemoveTree(folder_); }

  ProcessResult Run(const std::vector<std::string>& args, const std::vector<std::string>& prefix = {}) {
    std::vector<std::string> argv = prefix;
    argv.push_back(kExe);
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessOptions options;
    options.setEnvironment.push_back("GRANTRIGHT_POLICY_STORE=" + store_);
    ProcessResult result;
    EXPECT_TRUE(RunProcess(argv, options, &result));
    return result;
  }

  bool StoreExists() { return access(store_.c_str(), F_OK) == 0; }

  std::string folder_;
  std::string store_;
};

struct RunCase {
  const char* name;
  std::vector<std::string> args;
  int exitStatus;
  std::string err;
  std::string store;  // what the store holds afterwards
};

TEST_F(HostE2eTest, CommandLinesEndAsTheyShould) {
  const RunCase cases[] = {
      {"granted", {"-u", "root"}, 0, "", "S-1-22-1-0 SeServiceLogonRight\n"},
      {"last account wins", {"-u", "no-such-account", "-u", "root"}, 0, "", "S-1-22-1-0 SeServiceLogonRight\n"},
      {"right first", {"+r", "SeBatchLogonRight", "-u", "root"}, 0, "", "S-1-22-1-0 SeBatchLogonRight\n"},
      {"privilege", {"-u", "root", "+r", "SeTcbPrivilege"}, 0, "", "S-1-22-1-0 SeTcbPrivilege\n"},
      {"default account", {}, 13, kUnmapped, ""},
      {"unknown account", {"-u", "no-such-account"}, 13, kUnmapped, ""},
      {"option as value", {"-u", "+r"}, 13, kUnmapped, ""},
      {"empty account", {"-u", ""}, 13, kUnmapped, ""},
      {"unknown right", {"-u", "root", "+r", "SeNoSuchRight"}, 13, kNoSuchRight, ""},
      {"right in other case", {"-u", "root", "+r", "seservicelogonright"}, 13, kNoSuchRight, ""},
      {"empty right", {"-u", "root", "+r", ""}, 13, kNoSuchRight, ""},
      {"right cut at 255", {"-u", "root", "+r", "SeServiceLogonRight" + std::string(300, 'x')}, 13, kNoSuchRight, ""},
      {"lone option", {"-u"}, 1, kUsage, ""},
      {"option without value", {"-u", "root", "+r"}, 1, kUsage, ""},
      {"capital U", {"-U", "root"}, 1, kUsage, ""},
      {"double dash", {"--u", "root"}, 1, kUsage, ""},
      {"stray argument", {"-u", "root", "extra"}, 1, kUsage, ""},
      {"empty option word", {""}, 1, kUsage, ""},
  };
  for (const RunCase& row : cases) {
    RemoveTree(store_);
    ProcessResult result = Run(row.args);
    EXPECT_EQ(row.exitStatus, result.exitStatus) << row.name;
    EXPECT_EQ(row.err, result.err) << row.name;
    EXPECT_EQ("", result.out) << row.name;
    EXPECT_EQ(row.store, ReadWholeFile(store_)) << row.name;
  }
}

// The defaults end to end: in a mount namespace of its own, the host's
// account database is given an account "quendrix" for the run.
TEST_F(HostE2eTest, NoArgumentsGrantTheServiceLogonRightToQuendrix) {
  ProcessResult probe;
  if (geteuid() != 0 || !RunProcess({"unshare", "-m", "true"}, {}, &probe) || probe.exitStatus != 0) {
    GTEST_SKIP() << "needs root and mount namespaces to give the host an account named quendrix";
  }
  std::string passwd = folder_ + "/passwd";
  WriteWholeFile(passwd, ReadWholeFile("/etc/passwd") + "quendrix:x:4242:4242::/nonexistent:/usr/sbin/nologin\n");
  ProcessResult result =
      Run({}, {"unshare", "-m", "sh", "-c", "mount --bind \"$0\" /etc/passwd && exec \"$@\"", passwd});
  EXPECT_EQ(0, result.exitStatus) << result.err;
  EXPECT_EQ("", result.err);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("S-1-22-1-4242 SeServiceLogonRight\n", ReadWholeFile(store_));
}

TEST_F(HostE2eTest, UsageNamesTheProgramAsStarted) {
  ProcessResult result;
  ProcessOptions options;
  options.workingDirectory = kExe.substr(0, kExe.rfind('/'));
  ASSERT_TRUE(RunProcess({"./grantright", "-x"}, options, &result));
  EXPECT_EQ(1, result.exitStatus);
  EXPECT_EQ("Usage: ./grantright -u <user> +r SeServiceLogonRight\n", result.err);
}

TEST_F(HostE2eTest, SameGrantTwiceIsOneLine) {
  for (int run = 0; run < 2; ++run) {
    ProcessResult result = Run({"-u", "root"});
    EXPECT_EQ(0, result.exitStatus) << "run " << run;
    EXPECT_EQ("", result.err) << "run " << run;
  }
  EXPECT_EQ("S-1-22-1-0 SeServiceLogonRight\n", ReadWholeFile(store_));
}

TEST_F(HostE2eTest, StoreThatMayNotBeWrittenIsRefusedAtOpen) {
  std::vector<std::string> prefix;
  if (geteuid() == 0) {
    prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  } else {
    chmod(folder_.c_str(), 0555);
  }
  ProcessResult result = Run({"-u", "root"}, prefix);
  chmod(folder_.c_str(), 0755);
  EXPECT_EQ(13, result.exitStatus);
  EXPECT_EQ(kDenied, result.err);
  EXPECT_FALSE(StoreExists());
}

TEST_F(HostE2eTest, StoreThatDoesNotParseIsReportedAndKept) {
  WriteWholeFile(store_, "not a policy\n");
  ProcessResult result = Run({"-u", "root"});
  EXPECT_EQ(13, result.exitStatus);
  EXPECT_EQ(kCorrupt, result.err);
  EXPECT_EQ("not a policy\n", ReadWholeFile(store_));
}

// 32 runs at once, some of them the same grant: every distinct grant is in
// the store afterwards, once, and the store parses.
TEST_F(HostE2eTest, ConcurrentGrantsLoseNothing) {
  const std::vector<std::pair<std::string, std::string>> accounts = {
      {"root", "S-1-22-1-0"}, {"daemon", "S-1-22-1-1"}, {"bin", "S-1-22-1-2"}, {"sys", "S-1-22-1-3"}};
  const std::vector<std::string> rights = {"SeServiceLogonRight", "SeBatchLogonRight", "SeTcbPrivilege",
                                           "SeBackupPrivilege", "SeRestorePrivilege", "SeDebugPrivilege"};
  std::vector<std::pair<std::string, std::string>> grants;  // account, right
  for (int i = 0; i < 32; ++i) {
    grants.push_back({accounts[i % accounts.size()].first, rights[(i / accounts.size()) % rights.size()]});
  }
  std::set<std::string> expected;
  for (const auto& grant : grants) {
    for (const auto& account : accounts) {
      if (account.first == grant.first) expected.insert(account.second + " " + grant.second);
    }
  }
  ASSERT_EQ(24u, expected.size());

  std::string storeVariable = "GRANTRIGHT_POLICY_STORE=" + store_;
  std::vector<pid_t> children;
  for (const auto& grant : grants) {
    pid_t child = fork();
    if (child == 0) {
      putenv(&storeVariable[0]);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, STDERR_FILENO);
      execl(kExe.c_str(), kExe.c_str(), "-u", grant.first.c_str(), "+r", grant.second.c_str(), nullptr);
      _exit(127);
    }
    children.push_back(child);
  }
  int failures = 0;
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    failures += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(0, failures);

  std::string content = ReadWholeFile(store_);
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = content.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(content.substr(at, end - at));
  }
  EXPECT_EQ(content.size(), content.rfind('\n') + 1) << "the store ends in a whole line";
  EXPECT_EQ(expected.size(), lines.size()) << content;
  EXPECT_EQ(expected, std::set<std::string>(lines.begin(), lines.end()));
}

}  // namespace

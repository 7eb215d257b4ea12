// The host program as a process: exit status, the exact bytes on each
// stream, and what the policy store holds afterwards.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
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
const std::string kUnmapped =
    "GetAccountSid error!\nNo mapping between account names and security IDs was done.\n";
const std::string kNoSuchRight = "AddUserRightToAccount error!\nA specified privilege does not exist.\n";
const std::string kDenied = "OpenPolicy error!\nAccess is denied.\n";
const std::string kOpenOutOfMemory =
    "OpenPolicy error!\nNot enough memory resources are available to process this command.\n";
constexpr bool kSanitized = GRANTRIGHT_SANITIZED;
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

  // Starts the program with exactly `args` after the program name (none at
  // all, not even the name, when `args` is empty), standard error on
  // `errFd` and SIGPIPE as it is by default. Its exit status, or 128 plus
  // the signal that ended it.
  int RunRaw(const std::vector<const char*>& args, int errFd) {
    std::vector<const char*> argv;
    if (!args.empty()) argv.push_back(kExe.c_str());
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(nullptr);
    std::string storeVariable = "GRANTRIGHT_POLICY_STORE=" + store_;
    const char* environment[] = {storeVariable.c_str(), nullptr};
    pid_t child = fork();
    if (child == 0) {
      signal(SIGPIPE, SIG_DFL);
      int null = open("/dev/null", O_RDWR);
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(errFd, STDERR_FILENO);
      execve(kExe.c_str(), const_cast<char* const*>(argv.data()), const_cast<char* const*>(environment));
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

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
      {"last account wins",
       {"-u", "no-such-account", "-u", "root"},
       0,
       "",
       "S-1-22-1-0 SeServiceLogonRight\n"},
      {"right first", {"+r", "SeBatchLogonRight", "-u", "root"}, 0, "", "S-1-22-1-0 SeBatchLogonRight\n"},
      {"privilege", {"-u", "root", "+r", "SeTcbPrivilege"}, 0, "", "S-1-22-1-0 SeTcbPrivilege\n"},
      {"default account", {}, 13, kUnmapped, ""},
      {"unknown account", {"-u", "no-such-account"}, 13, kUnmapped, ""},
      {"option as value", {"-u", "+r"}, 13, kUnmapped, ""},
      {"empty account", {"-u", ""}, 13, kUnmapped, ""},
      {"unknown right", {"-u", "root", "+r", "SeNoSuchRight"}, 13, kNoSuchRight, ""},
      {"right in other case", {"-u", "root", "+r", "seservicelogonright"}, 13, kNoSuchRight, ""},
      {"empty right", {"-u", "root", "+r", ""}, 13, kNoSuchRight, ""},
      {"right of 256 units", {"-u", "root", "+r", std::string(256, 'x')}, 1, kUsage, ""},
      {"account of 300 units", {"-u", std::string(300, 'r')}, 1, kUsage, ""},
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

// Whether accounts can be added for one run: root, with mount namespaces.
bool CanAddAccounts() {
  ProcessResult probe;
  return geteuid() == 0 && RunProcess({"unshare", "-m", "true"}, {}, &probe) && probe.exitStatus == 0;
}

// Accounts added to the host's for a run (names as bytes; uid = gid):
// quendrix for the defaults; an entry too big for any first guess at the
// lookup's buffer, before others; and names that differ only in bytes that
// are not UTF-8.
std::string AddedAccounts() {
  const std::vector<std::pair<std::string, int>> users = {{"huge", 4243},        {"quendrix", 4242},
                                                          {"x\xFF", 4301},       {"x\xEF\xBF\xBD", 4302},
                                                          {"caf\xC3\xA9", 4303}, {"caf\xE9", 4304}};
  std::string lines;
  for (const auto& user : users) {
    const std::string id = std::to_string(user.second);
    const std::string comment = user.first == "huge" ? std::string(2 << 20, 'g') : "";
    lines += user.first + ":x:" + id + ":" + id + ":" + comment + ":/nonexistent:/usr/sbin/nologin\n";
  }
  return lines;
}

// Each run in a mount namespace of its own, whose account database has the
// accounts above: a name reaches the database as the bytes typed, UTF-8 or
// not, and finds its own account or none.
TEST_F(HostE2eTest, NamesFindTheirOwnAccountOrNone) {
  if (!CanAddAccounts()) GTEST_SKIP() << "needs root and mount namespaces to add accounts";
  WriteWholeFile(folder_ + "/passwd", ReadWholeFile("/etc/passwd") + AddedAccounts());
  const std::vector<std::string> inNamespace = {
      "unshare", "-m", "sh", "-c", "mount --bind \"$0\" /etc/passwd && exec \"$@\"", folder_ + "/passwd"};
  const RunCase cases[] = {
      {"defaults", {}, 0, "", "S-1-22-1-4242 SeServiceLogonRight\n"},
      {"the huge entry", {"-u", "huge"}, 0, "", "S-1-22-1-4243 SeServiceLogonRight\n"},
      {"after the huge entry", {"-u", "x\xFF"}, 0, "", "S-1-22-1-4301 SeServiceLogonRight\n"},
      {"U+FFFD, which such a byte used to become",
       {"-u", "x\xEF\xBF\xBD"},
       0,
       "",
       "S-1-22-1-4302 SeServiceLogonRight\n"},
      {"UTF-8", {"-u", "caf\xC3\xA9"}, 0, "", "S-1-22-1-4303 SeServiceLogonRight\n"},
      {"Latin-1", {"-u", "caf\xE9"}, 0, "", "S-1-22-1-4304 SeServiceLogonRight\n"},
      {"another byte", {"-u", "x\xFE"}, 13, kUnmapped, ""},
      {"truncated sequence", {"-u", "caf\xC3"}, 13, kUnmapped, ""},
      {"no such account", {"-u", "no-such-account"}, 13, kUnmapped, ""},
  };
  for (const RunCase& row : cases) {
    RemoveTree(store_);
    ProcessResult result = Run(row.args, inNamespace);
    EXPECT_EQ(row.exitStatus, result.exitStatus) << row.name << ": " << result.err;
    EXPECT_EQ(row.err, result.err) << row.name;
    EXPECT_EQ("", result.out) << row.name;
    EXPECT_EQ(row.store, ReadWholeFile(store_)) << row.name;
  }
}

// An empty argument vector has nothing to read: the defaults run (and
// "quendrix" is no account here).
TEST_F(HostE2eTest, EmptyArgumentVectorRunsTheDefaults) {
  int err[2];
  ASSERT_EQ(0, pipe(err));
  EXPECT_EQ(13, RunRaw({}, err[1]));
  close(err[1]);
  char text[512];
  ssize_t got = read(err[0], text, sizeof text);
  close(err[0]);
  EXPECT_EQ(kUnmapped, std::string(text, got > 0 ? static_cast<size_t>(got) : 0));
}

// Standard error a pipe whose reader has gone: the report is lost, the exit
// status is not (on Windows the write fails and the program goes on).
TEST_F(HostE2eTest, StandardErrorWithoutAReaderChangesNoExitStatus) {
  const struct {
    const char* name;
    std::vector<const char*> args;
    int exitStatus;
  } cases[] = {
      {"usage", {"-x"}, 1},
      {"report", {"-u", "no-such-account"}, 13},
      {"granted", {"-u", "root"}, 0},
  };
  for (const auto& row : cases) {
    int pipeEnds[2];
    ASSERT_EQ(0, pipe(pipeEnds));
    close(pipeEnds[0]);  // no reader, from the start
    EXPECT_EQ(row.exitStatus, RunRaw(row.args, pipeEnds[1])) << row.name << " (128 + n: killed by signal n)";
    close(pipeEnds[1]);
  }
}

// Memory too short to read the store: reported, never an abort, and the
// store is left as it was.
TEST_F(HostE2eTest, OutOfMemoryIsReportedAndTheStoreKept) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' shadow memory does not fit under an address-space limit";
  const std::string line = "S-1-22-1-1000 SeBatchLogonRight\n";
  std::string content;
  content.reserve(32 << 20);
  while (content.size() < (32u << 20)) content += line;
  WriteWholeFile(store_, content);
  ProcessResult result = Run({"-u", "root"}, {"sh", "-c", "ulimit -v 24000 && exec \"$@\"", "sh"});
  EXPECT_EQ(13, result.exitStatus) << "signal " << result.signal;
  EXPECT_EQ(kOpenOutOfMemory, result.err);
  EXPECT_TRUE(content == ReadWholeFile(store_)) << "the store changed";
}

// Argument zero is shown as the bytes it was, whatever they are.
TEST_F(HostE2eTest, UsageNamesTheProgramAsStarted) {
  const std::string names[] = {"grantright", "gr\xFFntright", "\xEF\xBD\x87rantright"};
  for (const std::string& name : names) {
    ASSERT_EQ(0, symlink(kExe.c_str(), (folder_ + "/" + name).c_str())) << name;
    ProcessResult result;
    ProcessOptions options;
    options.workingDirectory = folder_;
    ASSERT_TRUE(RunProcess({"./" + name, "-x"}, options, &result)) << name;
    EXPECT_EQ(1, result.exitStatus) << name;
    EXPECT_EQ("Usage: ./" + name + " -u <user> +r SeServiceLogonRight\n", result.err) << name;
  }
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
  const std::vector<std::string> rights = {"SeServiceLogonRight", "SeBatchLogonRight",  "SeTcbPrivilege",
                                           "SeBackupPrivilege",   "SeRestorePrivilege", "SeDebugPrivilege"};
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

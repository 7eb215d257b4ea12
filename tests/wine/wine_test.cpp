// The Windows executable under Wine: Windows' own argument splitting, its
// text-mode standard error, its account lookup, and the exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/process.h"

namespace {

// Set from the command line: the executable under test and the launcher
// built beside it.
std::string g_exe;
std::string g_launcher;

// Every Wine process runs in the test prefix, quietly, without the add-ons
// a new prefix would offer to download.
ProcessOptions WineOptions() {
  ProcessOptions options;
  options.setEnvironment = {"WINEPREFIX=" GRANTRIGHT_WINE_PREFIX, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
  return options;
}

// The Windows name of a host path, through Wine's Z: drive.
std::string WindowsPath(const std::string& path) {
  std::string windows = "Z:" + path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

const std::string kUsageAsTyped = "Usage: grantright -u <user> +r SeServiceLogonRight\r\n";

// A report for a step: its line, then Wine's own non-empty text in CR LF.
void ExpectReport(const std::string& step, const std::string& err, const std::string& row) {
  std::string line = step + " error!\r\n";
  ASSERT_EQ(0u, err.rfind(line, 0)) << row << ": " << err;
  std::string text = err.substr(line.size());
  EXPECT_GT(text.size(), 2u) << row;
  EXPECT_EQ("\r\n", text.substr(text.size() - 2)) << row;
  EXPECT_EQ(std::string::npos, text.find("error!")) << row << ": one report only";
}

struct LineCase {
  const char* name;
  std::string commandLine;
  int exitStatus;
  std::string err;  // exact, or the step name of a report
};

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(g_exe.empty() || g_launcher.empty()) << "run with --exe=<program> --launcher=<raw_launch.exe>";
    exe_ = g_exe;
    launcher_ = g_launcher;
    folder_ = MakeTemporaryFolder();
  }
  void TearDown() override { RemoveTree(folder_); }

  // Runs the executable with exactly `commandLine` as its command line.
  ProcessResult RunRaw(const std::string& commandLine, ProcessOptions options = WineOptions()) {
    std::string file = folder_ + "/command-line";
    WriteWholeFile(file, commandLine);
    ProcessResult result;
    EXPECT_TRUE(RunProcess({"wine", launcher_, WindowsPath(file), WindowsPath(exe_)}, options, &result));
    return result;
  }

  // Runs a row's command line; its exit status and standard error must be
  // the row's, and nothing may reach standard output.
  void ExpectOutcome(const LineCase& row) {
    ProcessResult result = RunRaw(row.commandLine);
    EXPECT_EQ(0, result.signal) << row.name;
    EXPECT_EQ(row.exitStatus, result.exitStatus) << row.name << ": " << result.err;
    EXPECT_EQ("", result.out) << row.name;
    if (row.exitStatus == 13) {
      ExpectReport(row.err, result.err, row.name);
    } else {
      EXPECT_EQ(row.err, result.err) << row.name;
    }
  }

  std::string exe_;
  std::string launcher_;
  std::string folder_;
};

TEST_F(WineTest, CommandLinesAsWindowsSplitsThem) {
  const LineCase cases[] = {
      {"granted", "grantright -u Administrators", 0, ""},
      {"quoted value", "grantright -u \"Administrators\"", 0, ""},
      {"quotes inside a word", "grantright -u Admin\"\"istrators", 0, ""},
      {"half-quoted word", "grantright -u \"Admin\"istrators", 0, ""},
      {"unterminated quote", "grantright -u \"Administrators", 0, ""},
      {"quoted option word", "grantright \"-u\" Administrators", 0, ""},
      {"tabs separate", "grantright\t-u\tAdministrators", 0, ""},
      {"right then account", "grantright +r SeBatchLogonRight -u Administrators", 0, ""},
      {"default account", "grantright", 13, "GetAccountSid"},
      {"unknown account", "grantright -u nosuchaccount", 13, "GetAccountSid"},
      {"empty account", "grantright -u \"\"", 13, "GetAccountSid"},
      {"escaped quotes kept", "grantright -u \\\"Administrators\\\"", 13, "GetAccountSid"},
      {"option as value", "grantright -u +r", 13, "GetAccountSid"},
      {"lone option", "grantright -u", 1, kUsageAsTyped},
      {"right without value", "grantright -u Administrators +r", 1, kUsageAsTyped},
      {"capital U", "grantright -U Administrators", 1, kUsageAsTyped},
      {"double dash", "grantright --u Administrators", 1, kUsageAsTyped},
      {"stray argument", "grantright -u Administrators extra", 1, kUsageAsTyped},
      {"quoted program path", "\"C:\\Program Files\\Tools\\grantright.exe\" -u", 1,
       "Usage: C:\\Program Files\\Tools\\grantright.exe -u <user> +r SeServiceLogonRight\r\n"},
      {"bare program path", "C:\\tools\\grantright.exe -x", 1,
       "Usage: C:\\tools\\grantright.exe -u <user> +r SeServiceLogonRight\r\n"},
  };
  for (const LineCase& row : cases) ExpectOutcome(row);
}

// Hostile command lines through Windows' own splitting: whatever the bytes,
// the outcome is the one the splitting rules give, and nothing crashes.
TEST_F(WineTest, HostileCommandLines) {
  const std::string longRight(32000, 'x');
  const LineCase cases[] = {
      {"quoted space keeps one argument", "grantright -u Administrators +r \"Se Tcb\"", 0, ""},
      {"even backslashes before a quote halve and it quotes", "grantright -u Administrators +r a\\\\\"b c\"", 0, ""},
      {"odd backslashes make the quote literal", "grantright -u Administrators +r a\\\"b c", 1, kUsageAsTyped},
      {"doubled quote inside quotes", "grantright -u Administrators +r \"a\"\"b c\"", 0, ""},
      {"doubled quote ends no argument", "grantright -u \"Admin\"\"istrators\"", 13, "GetAccountSid"},
      {"empty quoted argument", "grantright -u Administrators \"\"", 1, kUsageAsTyped},
      {"trailing lone quote", "grantright -u Administrators \"", 1, kUsageAsTyped},
      {"trailing tab", "grantright -u Administrators\t", 0, ""},
      {"tabs and quotes", "grantright\t\"-u\"\t\"Administrators\"\t+r\tSeTcbPrivilege", 0, ""},
      {"32,000-character right", "grantright -u Administrators +r " + longRight, 0, ""},
      {"32,000-character account", "grantright -u " + std::string(32000, 'A'), 13, "GetAccountSid"},
      {"bytes above 0x7F in a value", "grantright -u Administrators +r Se\xE9\xFF", 0, ""},
      {"bytes above 0x7F in the program name", "gr\xE9ntright -x", 1,
       "Usage: gr\xE9ntright -u <user> +r SeServiceLogonRight\r\n"},
      {"leading spaces leave the program name empty", "  grantright -x", 1,
       "Usage:  -u <user> +r SeServiceLogonRight\r\n"},
  };
  for (const LineCase& row : cases) ExpectOutcome(row);
}

// Expanded, "*" would become the two files here and make the line malformed.
TEST_F(WineTest, WildcardIsNotExpanded) {
  WriteWholeFile(folder_ + "/one", "");
  WriteWholeFile(folder_ + "/two", "");
  ProcessOptions options = WineOptions();
  options.workingDirectory = folder_;
  ProcessResult result = RunRaw("grantright -u *", options);
  EXPECT_EQ(13, result.exitStatus) << result.err;
  ExpectReport("GetAccountSid", result.err, "-u *");
}

TEST_F(WineTest, ArgumentZeroFromWineIsTheProgramsPath) {
  ProcessResult result;
  ASSERT_TRUE(RunProcess({"wine", exe_, "-u"}, WineOptions(), &result));
  EXPECT_EQ(1, result.exitStatus);
  EXPECT_EQ("Usage: " + WindowsPath(exe_) + " -u <user> +r SeServiceLogonRight\r\n", result.err);
  EXPECT_EQ("", result.out);
}

// The step line is flushed whole before the system text is written raw,
// whether standard error is a pipe or a file.
TEST_F(WineTest, ReportBytesArriveInOrderOnAPipeAndInAFile) {
  ProcessResult piped = RunRaw("grantright -u nosuchaccount");
  EXPECT_EQ(13, piped.exitStatus);
  ExpectReport("GetAccountSid", piped.err, "pipe");

  ProcessOptions toFile = WineOptions();
  toFile.stderrFile = folder_ + "/stderr";
  ProcessResult filed = RunRaw("grantright -u nosuchaccount", toFile);
  EXPECT_EQ(13, filed.exitStatus);
  EXPECT_EQ(piped.err, ReadWholeFile(toFile.stderrFile));
  EXPECT_EQ("", filed.out);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--exe=", 0) == 0) g_exe = arg.substr(6);
    if (arg.rfind("--launcher=", 0) == 0) g_launcher = arg.substr(11);
  }
  return RUN_ALL_TESTS();
}

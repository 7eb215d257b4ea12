// The Windows executable under Wine: Windows' own argument splitting, its
// text-mode standard error, its account lookup, and the exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/process.h"

namespace {

// Set from the command line: the executable under test and the launcher
// built beside it.
std::string g_exe;
std::string g_launcher;

// Every Wine process runs in the test prefix, quietly, without the add-ons
// a new prefix would offer to download.
ProcessOptions WineOptions() {
  // The locale fixes the ANSI code page (1252), and with it the best-fit mapping.
  ProcessOptions options;
  options.setEnvironment = {"WINEPREFIX=" GRANTRIGHT_WINE_PREFIX, "WINEDEBUG=-all",
                            "WINEDLLOVERRIDES=mscoree,mshtml=", "LC_ALL=C.UTF-8"};
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

// The names Wine's own account lookup received, read from its trace of
// LookupAccountNameW (a line per call, the name as debugstr_w prints it:
// printable ASCII as it is, other units as \xxxx), in order.
std::vector<std::u16string> LookedUpNames(const std::string& trace) {
  std::vector<std::u16string> names;
  const std::string marker = ":trace:advapi:LookupAccountNameW (null) L\"";
  for (size_t at = trace.find(marker); at != std::string::npos; at = trace.find(marker, at)) {
    at += marker.size();
    std::u16string name;
    while (at < trace.size() && trace[at] != '"') {
      if (trace[at] != '\\') {
        name += static_cast<char16_t>(static_cast<unsigned char>(trace[at++]));
        continue;
      }
      const char escaped = trace[at + 1];
      if (escaped == 'n' || escaped == 'r' || escaped == 't' || escaped == '\\' || escaped == '"') {
        name += escaped == 'n'   ? u'\n'
                : escaped == 'r' ? u'\r'
                : escaped == 't' ? u'\t'
                                 : static_cast<char16_t>(escaped);
        at += 2;
      } else {
        name += static_cast<char16_t>(std::stoul(trace.substr(at + 1, 4), nullptr, 16));
        at += 5;
      }
    }
    names.push_back(name);
  }
  return names;
}

// Standard error without Wine's trace lines ("0024:trace:...", and the
// lines after one that start with a tab): what the program itself wrote.
std::string WithoutTrace(const std::string& err) {
  std::string kept;
  bool inTrace = false;
  for (size_t at = 0; at < err.size();) {
    size_t end = err.find('\n', at);
    end = end == std::string::npos ? err.size() : end + 1;
    std::string line = err.substr(at, end - at);
    inTrace = (line.size() > 11 && line.compare(4, 7, ":trace:") == 0) || (inTrace && line[0] == '\t');
    if (!inTrace) kept += line;
    at = end;
  }
  return kept;
}

std::string Utf16Bytes(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

struct WideCase {
  const char* name;
  std::u16string commandLine;
  int exitStatus;
  std::string err;                      // exact, or the step name of a report
  std::vector<std::u16string> lookups;  // what the account lookup received
};

struct LineCase {
  const char* name;
  std::string commandLine;
  int exitStatus;
  std::string err;  // exact, or the step name of a report
};

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(g_exe.empty() || g_launcher.empty())
        << "run with --exe=<program> --launcher=<raw_launch.exe>";
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

  // Runs the executable with exactly the UTF-16 units of `commandLine` as
  // its command line, with Wine tracing what its account lookup receives.
  ProcessResult RunWide(const std::u16string& commandLine) {
    std::string file = folder_ + "/command-line";
    WriteWholeFile(file, Utf16Bytes(commandLine) + std::string(2, '\0'));
    ProcessOptions options = WineOptions();
    options.setEnvironment[1] = "WINEDEBUG=-all,trace+advapi";
    ProcessResult result;
    EXPECT_TRUE(
        RunProcess({"wine", launcher_, "--utf16", WindowsPath(file), WindowsPath(exe_)}, options, &result));
    return result;
  }

  // What the runtime's narrow argument vector shows as argument zero when a
  // command line starts with `name`.
  std::string NarrowProgramName(const std::u16string& name) {
    std::string file = folder_ + "/argv0-line";
    WriteWholeFile(file, Utf16Bytes(name + u" --argv0") + std::string(2, '\0'));
    ProcessResult result;
    EXPECT_TRUE(RunProcess({"wine", launcher_, "--utf16", WindowsPath(file), WindowsPath(launcher_)},
                           WineOptions(), &result));
    EXPECT_EQ(0, result.exitStatus) << result.err;
    return result.out;
  }

  void ExpectOutcome(const WideCase& row) {
    ProcessResult result = RunWide(row.commandLine);
    const std::string err = WithoutTrace(result.err);
    EXPECT_EQ(0, result.signal) << row.name;
    EXPECT_EQ(row.exitStatus, result.exitStatus) << row.name << ": " << err;
    EXPECT_EQ("", result.out) << row.name;
    if (row.exitStatus == 13) {
      ExpectReport(row.err, err, row.name);
    } else {
      EXPECT_EQ(row.err, err) << row.name;
    }
    const std::vector<std::u16string> lookups = LookedUpNames(result.err);
    EXPECT_EQ(row.lookups.size(), lookups.size()) << row.name;
    for (size_t i = 0; i < row.lookups.size() && i < lookups.size(); ++i) {
      EXPECT_TRUE(row.lookups[i] == lookups[i]) << row.name << ": lookup " << i << " received other units";
    }
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
      {"even backslashes before a quote halve and it quotes", "grantright -u Administrators +r a\\\\\"b c\"",
       0, ""},
      {"odd backslashes make the quote literal", "grantright -u Administrators +r a\\\"b c", 1,
       kUsageAsTyped},
      {"doubled quote inside quotes", "grantright -u Administrators +r \"a\"\"b c\"", 0, ""},
      {"doubled quote ends no argument", "grantright -u \"Admin\"\"istrators\"", 13, "GetAccountSid"},
      {"empty quoted argument", "grantright -u Administrators \"\"", 1, kUsageAsTyped},
      {"trailing lone quote", "grantright -u Administrators \"", 1, kUsageAsTyped},
      {"trailing tab", "grantright -u Administrators\t", 0, ""},
      {"tabs and quotes", "grantright\t\"-u\"\t\"Administrators\"\t+r\tSeTcbPrivilege", 0, ""},
      {"32,000-character right", "grantright -u Administrators +r " + longRight, 1, kUsageAsTyped},
      {"32,000-character account", "grantright -u " + std::string(32000, 'A'), 1, kUsageAsTyped},
      {"bytes above 0x7F in a value", "grantright -u Administrators +r Se\xE9\xFF", 0, ""},
      {"bytes above 0x7F in the program name", "gr\xE9ntright -x", 1,
       "Usage: gr\xE9ntright -u <user> +r SeServiceLogonRight\r\n"},
      {"leading spaces leave the program name empty", "  grantright -x", 1,
       "Usage:  -u <user> +r SeServiceLogonRight\r\n"},
  };
  for (const LineCase& row : cases) ExpectOutcome(row);
}

// Names from the UTF-16 command line reach the account lookup unit for
// unit. The narrow argument vector would have given a look-alike the name it
// resembles (full-width letters and some accented ones become plain ASCII, a
// full-width quote a real quote), and every other character a '?'.
TEST_F(WineTest, NamesReachTheLookupAsTyped) {
  const std::u16string pair = u"\U0001F600";
  const WideCase cases[] = {
      {"plain name", u"grantright -u Administrators", 0, "", {u"Administrators"}},
      {"full-width Everyone",
       u"grantright -u \uFF25\uFF56\uFF45\uFF52\uFF59\uFF4F\uFF4E\uFF45 +r SeTcbPrivilege",
       13,
       "GetAccountSid",
       {u"\uFF25\uFF56\uFF45\uFF52\uFF59\uFF4F\uFF4E\uFF45"}},
      {"full-width SYSTEM",
       u"grantright -u \uFF33\uFF39\uFF33\uFF34\uFF25\uFF2D",
       13,
       "GetAccountSid",
       {u"\uFF33\uFF39\uFF33\uFF34\uFF25\uFF2D"}},
      {"full-width Administrators",
       u"grantright -u \uFF21\uFF44\uFF4D\uFF49\uFF4E\uFF49\uFF53\uFF54\uFF52\uFF41\uFF54\uFF4F\uFF52\uFF53",
       13,
       "GetAccountSid",
       {u"\uFF21\uFF44\uFF4D\uFF49\uFF4E\uFF49\uFF53\uFF54\uFF52\uFF41\uFF54\uFF4F\uFF52\uFF53"}},
      {"full-width domain separator",
       u"grantright -u \uFF22\uFF35\uFF29\uFF2C\uFF34\uFF29\uFF2E\uFF3CAdministrators",
       13,
       "GetAccountSid",
       {u"\uFF22\uFF35\uFF29\uFF2C\uFF34\uFF29\uFF2E\uFF3CAdministrators"}},
      {"A with breve", u"grantright -u \u0102dministrators", 13, "GetAccountSid", {u"\u0102dministrators"}},
      {"A with caron", u"grantright -u \u01CDdministrators", 13, "GetAccountSid", {u"\u01CDdministrators"}},
      {"full-width quotes stay in one value",
       u"grantright -u \"nosuch\uFF02 -u \uFF02Administrators\"",
       13,
       "GetAccountSid",
       {u"nosuch\uFF02 -u \uFF02Administrators"}},
      {"full-width quote is no quote",
       u"grantright -u \uFF02Administrators +r SeDebugPrivilege\uFF02",
       13,
       "GetAccountSid",
       {u"\uFF02Administrators"}},
      {"outside the ANSI code page",
       u"grantright -u \u03A9\u03BC\u03AD\u03B3\u03B1\u0416",
       13,
       "GetAccountSid",
       {u"\u03A9\u03BC\u03AD\u03B3\u03B1\u0416"}},
      {"outside the BMP", u"grantright -u a" + pair + u"b", 13, "GetAccountSid", {u"a" + pair + u"b"}},
      {"lone surrogate",
       u"grantright -u a\xD800"
       u"b",
       13,
       "GetAccountSid",
       {u"a\xD800"
        u"b"}},
      {"255 units, a pair last, whole",
       u"grantright -u " + std::u16string(253, u'n') + pair,
       13,
       "GetAccountSid",
       {std::u16string(253, u'n') + pair}},
      // Cut short, a name could be another account's: nothing is looked up.
      {"256 units refused",
       u"grantright -u " + std::u16string(254, u'n') + pair,
       1,
       "Usage: grantright -u <user> +r SeServiceLogonRight\r\n",
       {}},
  };
  for (const WideCase& row : cases) ExpectOutcome(row);
}

// Argument zero as typed; where the ANSI code page has no such characters,
// as the runtime's narrow vector shows it, never a crash.
TEST_F(WineTest, UsageShowsTheProgramNameAsTheRuntimeDoes) {
  const std::u16string names[] = {u"grantright",          u"\"C:\\Program Files\\gr\u00E9ntright.exe\"",
                                  u"\uFF47rantright",     u"gr\u0430ntright",
                                  u"gr\U0001F600ntright", u"gr\xD800ntright"};
  for (const std::u16string& name : names) {
    const std::string shown = NarrowProgramName(name);
    ProcessResult result = RunWide(name + u" -x");
    EXPECT_EQ(1, result.exitStatus) << shown;
    EXPECT_EQ("Usage: " + shown + " -u <user> +r SeServiceLogonRight\r\n", WithoutTrace(result.err)) << shown;
    EXPECT_EQ("", result.out) << shown;
  }
  EXPECT_EQ("gr\xE9ntright", NarrowProgramName(u"gr\u00E9ntright")) << "a name the code page has, as it is";
  EXPECT_EQ("grantright", NarrowProgramName(u"\uFF47rantright")) << "the test's code page maps look-alikes";
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

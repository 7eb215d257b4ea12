// Checks a grantright executable from the outside, on Windows and under Wine
// alike: exact UTF-16 command lines in, exit status, every byte of both
// streams and the local policy itself out. One line per row: PASS, FAIL or
// SKIP with the reason. A row whose effect the platform cannot show is a
// SKIP, never a PASS.
//
// Usage: conformance <path to grantright.exe or grantright64.exe>
#include <windows.h>
#include <ntsecapi.h>
#include <stdio.h>
#include <winsafer.h>

#include <string>
#include <vector>

#include "common/scope_guard.h"
#include "policy.h"
#include "throwaway_account.h"
#include "tool_run.h"

namespace {

struct Row {
  std::string name;
  std::vector<std::string> failures;
  std::vector<std::string> skips;  // what could not be checked, and why
};

struct Tally {
  int passed = 0;
  int failed = 0;
  int skipped = 0;
};

// Rights that appeared on an account during the run, to be taken away again.
struct Undo {
  std::string account;
  SidBytes sid;
  std::vector<std::wstring> rights;
};

struct Context {
  std::wstring tool;
  bool wine = false;
  std::string whyPolicyHidden;  // empty when the policy can be read
  std::wstring throwaway;       // the account this run created, if any
  std::wstring account;         // the account the grant rows use
  std::string whyNoAccount;     // empty when there is one
  std::vector<Undo> undo;
  Tally tally;
};

std::string Number(unsigned long value) {
  char text[24];
  sprintf(text, "%lu", value);
  return text;
}

// Bytes as C escapes, so that CR, LF and other bytes show in a row's line.
std::string Printable(const std::string& bytes) {
  std::string text = "\"";
  for (unsigned char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '"' || c == '\\') {
      text += '\\';
      text += static_cast<char>(c);
    } else if (c < 0x20 || c > 0x7E) {
      char escape[8];
      sprintf(escape, "\\x%02X", c);
      text += escape;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text + "\"";
}

// A UTF-16 name in ASCII, with \uXXXX for everything else.
std::string Ascii(const std::wstring& text) {
  std::string ascii;
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      ascii += static_cast<char>(c);
    } else {
      char escape[8];
      sprintf(escape, "\\u%04X", static_cast<unsigned>(c));
      ascii += escape;
    }
  }
  return ascii;
}

// ASCII letters and digits as their full-width forms (U+FF01..U+FF5E).
std::wstring FullWidth(const std::wstring& text) {
  std::wstring wide;
  for (wchar_t c : text) wide += (c > 0x20 && c < 0x7F) ? static_cast<wchar_t>(c - 0x20 + 0xFF00) : c;
  return wide;
}

void Fail(Row* row, const std::string& what) { row->failures.push_back(what); }
void Skip(Row* row, const std::string& why) { row->skips.push_back(why); }

void Finish(const Row& row, Tally* tally) {
  const bool failed = !row.failures.empty();
  const bool skipped = !failed && !row.skips.empty();
  std::string line = failed ? "FAIL " : skipped ? "SKIP " : "PASS ";
  line += row.name;
  const std::vector<std::string>& reasons = failed ? row.failures : row.skips;
  for (size_t i = 0; i < reasons.size(); ++i) line += (i == 0 ? ": " : "; ") + reasons[i];
  printf("%s\n", line.c_str());
  fflush(stdout);
  ++(failed ? tally->failed : skipped ? tally->skipped : tally->passed);
}

// What the program must write for a failed step: the step line, then exactly
// the bytes this machine's message table gives for the code in the user's
// default language (nothing when it has none).
std::string ExpectedReport(const char* step, DWORD code) {
  std::string report = std::string(step) + " error!\r\n";
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                GetUserDefaultLangID(), reinterpret_cast<char*>(&text), 0, nullptr);
  if (length != 0) report.append(text, length);
  if (text != nullptr) LocalFree(text);
  return report;
}

std::string ExpectedUsage(const char* argv0) {
  return std::string("Usage: ") + argv0 + " -u <user> +r SeServiceLogonRight\r\n";
}

std::wstring GrantLine(const std::wstring& account, const std::wstring& right) {
  return L"grantright -u " + QuoteArgument(account) + L" +r " + QuoteArgument(right);
}

void ExpectOutcome(Row* row, const ToolRun& run, DWORD exitCode, const std::string& err) {
  if (!run.failure.empty()) {
    Fail(row, "could not run the program: " + run.failure);
    return;
  }
  if (run.exitCode != exitCode)
    Fail(row, "exit status " + Number(run.exitCode) + ", expected " + Number(exitCode));
  if (!run.out.empty()) Fail(row, "standard output holds " + Printable(run.out) + ", expected nothing");
  if (run.err != err)
    Fail(row, "standard error holds " + Printable(run.err) + ", expected " + Printable(err));
}

// A run that ended as a plain success, which is all Wine's LSA can answer
// to a right it should refuse.
bool QuietSuccess(const ToolRun& run) {
  return run.failure.empty() && run.exitCode == 0 && run.out.empty() && run.err.empty();
}

std::vector<std::wstring> Gained(const std::vector<std::wstring>& before,
                                 const std::vector<std::wstring>& after) {
  std::vector<std::wstring> gained;
  for (const std::wstring& right : after) {
    if (CountRight(before, right) == 0) gained.push_back(right);
  }
  return gained;
}

// Reads the rights of `sid` into *rights; a failure to read fails the row.
bool ReadRightsFor(Row* row, const SidBytes& sid, const std::string& who, std::vector<std::wstring>* rights) {
  std::string failure;
  if (ReadRights(sid, rights, &failure)) return true;
  Fail(row, "reading the rights of " + who + ": " + failure);
  return false;
}

void MalformedRows(Context* context) {
  struct UsageCase {
    const char* name;
    const wchar_t* commandLine;
    const char* argv0;  // as typed, so as the usage line must show it
  };
  const UsageCase cases[] = {
      {"option without a value", L"grantright -u", "grantright"},
      {"right without a value", L"grantright -u Everyone +r", "grantright"},
      {"capital U", L"grantright -U Everyone", "grantright"},
      {"double dash", L"grantright --u Everyone", "grantright"},
      {"stray word", L"grantright -u Everyone extra", "grantright"},
      {"program path with spaces, quoted", L"\"C:\\Program Files\\Tools\\grantright.exe\" -x",
       "C:\\Program Files\\Tools\\grantright.exe"},
      {"program name in capitals", L"GRANTRIGHT.EXE +r", "GRANTRIGHT.EXE"},
  };
  for (const UsageCase& usage : cases) {
    Row row = {std::string("Malformed command line: ") + usage.name, {}, {}};
    ToolRun run;
    RunTool(context->tool, usage.commandLine, RunOptions(), &run);
    ExpectOutcome(&row, run, 1, ExpectedUsage(usage.argv0));
    Finish(row, &context->tally);
  }
}

void FailureRows(Context* context) {
  std::wstring suffix;
  std::string failure;
  const std::wstring unknown = L"grnone" + (RandomHex(10, &suffix, &failure) ? suffix : L"0fixed");
  struct FailureCase {
    const char* name;
    std::wstring account;
    std::wstring right;
    const char* step;
    DWORD code;
    bool lsaMustRefuse;  // the right name is the LSA's to refuse
  };
  const FailureCase cases[] = {
      {"unknown account", unknown, L"SeServiceLogonRight", "GetAccountSid", ERROR_NONE_MAPPED, false},
      {"empty account", L"", L"SeServiceLogonRight", "GetAccountSid", ERROR_NONE_MAPPED, false},
      {"unknown right", context->account, L"SeNoSuchLogonRight", "AddUserRightToAccount",
       ERROR_NO_SUCH_PRIVILEGE, true},
      {"empty right", context->account, L"", "AddUserRightToAccount", ERROR_NO_SUCH_PRIVILEGE, true},
      {"lowercase right", context->account, L"seservicelogonright", "AddUserRightToAccount",
       ERROR_NO_SUCH_PRIVILEGE, true},
  };
  for (const FailureCase& failureCase : cases) {
    Row row = {std::string("Failure: ") + failureCase.name, {}, {}};
    if (failureCase.lsaMustRefuse && context->account.empty()) {
      Fail(&row, "no account to name: " + context->whyNoAccount);
    } else {
      SidBytes sid;
      DWORD error = 0;
      if (!failureCase.lsaMustRefuse && !failureCase.account.empty() &&
          LookupSid(failureCase.account, &sid, &error)) {
        Fail(&row, "the name chosen as unknown, " + Ascii(failureCase.account) + ", is an account here");
      }
      ToolRun run;
      RunTool(context->tool, GrantLine(failureCase.account, failureCase.right), RunOptions(), &run);
      if (failureCase.lsaMustRefuse && context->wine && QuietSuccess(run)) {
        Skip(&row, "Wine's LSA accepts every right name, so nothing here refuses \"" +
                       Ascii(failureCase.right) + "\"");
      } else {
        ExpectOutcome(&row, run, 13, ExpectedReport(failureCase.step, failureCase.code));
      }
    }
    Finish(row, &context->tally);
  }
}

void StandardErrorRows(Context* context) {
  struct StreamCase {
    const char* name;
    std::wstring commandLine;
    DWORD exitCode;
    std::string err;
  };
  const StreamCase cases[] = {
      {"report", GrantLine(L"grnosuchaccount", L"SeServiceLogonRight"), 13,
       ExpectedReport("GetAccountSid", ERROR_NONE_MAPPED)},
      {"usage", L"grantright -x", 1, ExpectedUsage("grantright")},
  };
  for (const StreamCase& stream : cases) {
    Row row = {std::string("Standard error to a file and to a pipe: ") + stream.name, {}, {}};
    ToolRun piped, filed;
    RunTool(context->tool, stream.commandLine, RunOptions(), &piped);
    RunOptions toFile;
    toFile.stderrToFile = true;
    RunTool(context->tool, stream.commandLine, toFile, &filed);
    ExpectOutcome(&row, piped, stream.exitCode, stream.err);
    const size_t before = row.failures.size();
    ExpectOutcome(&row, filed, stream.exitCode, stream.err);
    for (size_t i = before; i < row.failures.size(); ++i) row.failures[i] = "to a file: " + row.failures[i];
    if (piped.failure.empty() && filed.failure.empty() && piped.err != filed.err) {
      Fail(&row, "the file holds " + Printable(filed.err) + ", the pipe " + Printable(piped.err));
    }
    Finish(row, &context->tally);
  }
}

void LookAlikeRows(Context* context) {
  struct LookAlike {
    std::string name;
    std::wstring commandLine;
    std::wstring resembled;  // the account a best-fit reading would reach
  };
  const std::wstring right = L"SeServiceLogonRight";
  std::vector<LookAlike> cases = {
      {"full-width Everyone", GrantLine(FullWidth(L"Everyone"), right), L"Everyone"},
      {"full-width SYSTEM", GrantLine(FullWidth(L"SYSTEM"), right), L"SYSTEM"},
      {"full-width Administrators", GrantLine(FullWidth(L"Administrators"), right), L"Administrators"},
      {"full-width BUILTIN and reverse solidus",
       GrantLine(FullWidth(L"BUILTIN\\") + L"Administrators", right), L"BUILTIN\\Administrators"},
      {"full-width reverse solidus",
       GrantLine(L"BUILTIN\xFF3C"
                 L"Administrators",
                 right),
       L"BUILTIN\\Administrators"},
      {"A with macron",
       GrantLine(L"\x0100"
                 L"dministrators",
                 right),
       L"Administrators"},
      {"full-width quotation marks stay inside the value",
       L"grantright -u \"Everyone\xFF02 +r \xFF02" + right + L"\"", L"Everyone"},
  };
  if (!context->account.empty()) {
    cases.push_back({"full-width name of the test account", GrantLine(FullWidth(context->account), right),
                     context->account});
  }
  const std::string expected = ExpectedReport("GetAccountSid", ERROR_NONE_MAPPED);
  for (const LookAlike& lookAlike : cases) {
    Row row = {"Look-alike: " + lookAlike.name, {}, {}};
    const std::string who = Ascii(lookAlike.resembled);
    SidBytes sid;
    DWORD error = 0;
    std::vector<std::wstring> before;
    bool watch = false;
    if (!context->whyPolicyHidden.empty()) {
      Skip(&row, "exit status and report as expected, but whether " + who +
                     " gained a right is not checked: " + context->whyPolicyHidden);
    } else if (!LookupSid(lookAlike.resembled, &sid, &error)) {
      Skip(&row, who + " is not an account here (error " + Number(error) + "), so no gain can be watched");
    } else if (ReadRightsFor(&row, sid, who, &before)) {
      watch = true;
      if (CountRight(before, right) != 0) {
        Skip(&row, who + " already holds " + Ascii(right) + ", so a grant to it would not show");
      }
    }
    ToolRun run;
    RunTool(context->tool, lookAlike.commandLine, RunOptions(), &run);
    ExpectOutcome(&row, run, 13, expected);
    std::vector<std::wstring> after;
    if (watch && ReadRightsFor(&row, sid, who, &after)) {
      std::vector<std::wstring> gained = Gained(before, after);
      if (!gained.empty()) {
        std::string list;
        for (const std::wstring& g : gained) list += (list.empty() ? "" : ", ") + Ascii(g);
        Fail(&row, who + " gained " + list);
        context->undo.push_back({who, sid, gained});
      }
    }
    Finish(row, &context->tally);
  }
}

void GrantRows(Context* context) {
  SidBytes sid;
  DWORD error = 0;
  if (!context->account.empty()) LookupSid(context->account, &sid, &error);
  const std::string who = Ascii(context->account);
  const wchar_t* rights[] = {L"SeServiceLogonRight", L"SeBatchLogonRight"};
  for (const wchar_t* right : rights) {
    for (int round = 0; round < 2; ++round) {
      Row row = {"Grant " + Ascii(right) + (round == 0 ? "" : " again"), {}, {}};
      if (context->account.empty()) {
        Fail(&row, "no account to grant to: " + context->whyNoAccount);
        Finish(row, &context->tally);
        continue;
      }
      const bool watch = context->whyPolicyHidden.empty();
      std::vector<std::wstring> before;
      if (watch && ReadRightsFor(&row, sid, who, &before) && round == 0 && CountRight(before, right) != 0) {
        Fail(&row, who + " held " + Ascii(right) + " before the grant");
      }
      ToolRun run;
      RunTool(context->tool, GrantLine(context->account, right), RunOptions(), &run);
      ExpectOutcome(&row, run, 0, "");
      std::vector<std::wstring> after;
      if (!watch) {
        Skip(&row, "exit status and streams as expected, but whether " + who +
                       " holds the right is not checked: " + context->whyPolicyHidden);
      } else if (ReadRightsFor(&row, sid, who, &after)) {
        size_t held = CountRight(after, right);
        if (held != 1)
          Fail(&row, "the policy lists " + Ascii(right) + " " + Number(held) + " times, expected once");
        std::vector<std::wstring> gained = Gained(before, after);
        for (const std::wstring& other : gained) {
          if (other != right) Fail(&row, who + " also gained " + Ascii(other));
        }
      }
      Finish(row, &context->tally);
    }
  }
}

void NoAdministratorRow(Context* context) {
  Row row = {"No administrator rights", {}, {}};
  if (context->wine) {
    Skip(&row,
         "Wine gives every process the caller's own token, so there is no normal-user token to run with");
  } else if (context->account.empty()) {
    Fail(&row, "no account to name: " + context->whyNoAccount);
  } else {
    SAFER_LEVEL_HANDLE level = nullptr;
    HANDLE token = nullptr;
    if (!SaferCreateLevel(SAFER_SCOPEID_USER, SAFER_LEVELID_NORMALUSER, SAFER_LEVEL_OPEN, &level, nullptr)) {
      Fail(&row, "SaferCreateLevel failed with error " + Number(GetLastError()));
    } else if (!SaferComputeTokenFromLevel(level, nullptr, &token, 0, nullptr)) {
      Fail(&row, "SaferComputeTokenFromLevel failed with error " + Number(GetLastError()));
    } else {
      RunOptions asNormalUser;
      asNormalUser.token = token;
      ToolRun run;
      RunTool(context->tool, GrantLine(context->account, L"SeServiceLogonRight"), asNormalUser, &run);
      ExpectOutcome(&row, run, 13, ExpectedReport("OpenPolicy", ERROR_ACCESS_DENIED));
    }
    if (token != nullptr) CloseHandle(token);
    if (level != nullptr) SaferCloseLevel(level);
  }
  Finish(row, &context->tally);
}

// Takes back every right this run saw appear and deletes the account it
// created; runs on every way out of the rows.
void CleanUp(Context* context) {
  Row row = {"Clean-up", {}, {}};
  std::string failure;
  for (const Undo& undo : context->undo) {
    if (!RemoveRights(undo.sid, undo.rights, &failure))
      Fail(&row, "taking back what " + undo.account + " gained: " + failure);
  }
  if (context->throwaway.empty()) {
    Skip(&row, "no account was created");
    Finish(row, &context->tally);
    return;
  }
  const std::string who = Ascii(context->throwaway);
  SidBytes sid;
  DWORD error = 0;
  const bool resolves = LookupSid(context->throwaway, &sid, &error);
  std::vector<std::wstring> rights;
  if (!context->whyPolicyHidden.empty()) {
    Skip(&row, "the account was deleted, but the rights of " + who +
                   " are not checked: " + context->whyPolicyHidden);
  } else if (resolves && ReadRightsFor(&row, sid, who, &rights) && !RemoveRights(sid, rights, &failure)) {
    Fail(&row, "removing the rights of " + who + ": " + failure);
  }
  if (!DeleteLocalUser(context->throwaway, &failure)) {
    Fail(&row, "deleting " + who + ": " + failure);
  } else if (!LocalUserIsGone(context->throwaway, &failure)) {
    Fail(&row, who + " after deletion: " + failure);
  }
  if (resolves && context->whyPolicyHidden.empty() && ReadRightsFor(&row, sid, who, &rights) &&
      !rights.empty()) {
    Fail(&row, "the policy still lists " + Number(rights.size()) + " rights for the deleted " + who);
  }
  Finish(row, &context->tally);
}

// Makes the throwaway account, or, under Wine, whose NetUserAdd keeps its
// users to itself, falls back on the current user, whom Wine's lookup knows.
void SetUp(Context* context) {
  std::wstring suffix;
  std::string failure;
  if (RandomHex(8, &suffix, &failure) && CreateLocalUser(L"grc" + suffix, &failure)) {
    context->throwaway = L"grc" + suffix;
    context->account = context->throwaway;
  } else {
    context->whyNoAccount =
        failure + (failure.find("error 5") != std::string::npos ? " (run it elevated)" : "");
  }
  SidBytes sid;
  DWORD error = 0;
  if (context->wine && (context->account.empty() || !LookupSid(context->account, &sid, &error))) {
    wchar_t user[257];
    DWORD size = 257;
    if (GetUserNameW(user, &size)) {
      context->account = user;
      printf(
          "# Wine's lookup does not know the accounts NetUserAdd makes: the rows use the current user %s\n",
          Ascii(user).c_str());
    }
  }
  if (!context->account.empty() && !LookupSid(context->account, &sid, &error)) {
    context->whyNoAccount = Ascii(context->account) + " does not resolve (error " + Number(error) + ")";
    context->account.clear();
  }
  if (!context->account.empty()) printf("# test account: %s\n", Ascii(context->account).c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "Usage: conformance <path to grantright.exe or grantright64.exe>\n");
    return 2;
  }
  Context context;
  context.tool = argv[1];
  if (GetFileAttributesW(context.tool.c_str()) == INVALID_FILE_ATTRIBUTES) {
    fprintf(stderr, "conformance: cannot find %s (error %lu)\n", Ascii(context.tool).c_str(), GetLastError());
    return 2;
  }
  typedef const char*(CDECL * WineVersion)();
  WineVersion wineVersion = reinterpret_cast<WineVersion>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
  context.wine = wineVersion != nullptr;
  if (context.wine) context.whyPolicyHidden = "Wine's LSA records no rights";
  printf("# program under test: %s\n# platform: %s%s\n", Ascii(context.tool).c_str(),
         context.wine ? "Wine " : "Windows", context.wine ? wineVersion() : "");

  SetUp(&context);
  {
    auto cleanUp = MakeScopeGuard([&] { CleanUp(&context); });
    MalformedRows(&context);
    FailureRows(&context);
    StandardErrorRows(&context);
    LookAlikeRows(&context);  // before the grants, so that any gain of the test account shows
    GrantRows(&context);
    NoAdministratorRow(&context);
  }
  printf("# %d passed, %d failed, %d skipped\n", context.tally.passed, context.tally.failed,
         context.tally.skipped);
  return context.tally.failed == 0 ? 0 : 1;
}

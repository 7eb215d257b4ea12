// Starts the program under test with an exact UTF-16 command line and
// collects how it ended and every byte it wrote.
#pragma once

#include <windows.h>

#include <string>

// An exit code no run leaves behind: the record still holds it when the
// program could not be started or did not end.
const DWORD kPoisonExitCode = 0xDEADBEEF;

struct ToolRun {
  DWORD exitCode;
  std::string out;
  std::string err;
  std::string failure;  // why the run could not be made; empty when it ran
};

struct RunOptions {
  HANDLE token = nullptr;     // when set, the program runs with this token
  bool stderrToFile = false;  // standard error to a new file instead of a pipe
};

// Poisons *run, then runs `application` with exactly `commandLine` (its first
// word is argument zero as typed). False when it could not be run or timed out.
bool RunTool(const std::wstring& application, const std::wstring& commandLine, const RunOptions& options,
             ToolRun* run);

// Quotes one argument so that the runtime's splitting gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument);

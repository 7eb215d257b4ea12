#include "tool_run.h"

#include <stdio.h>

#include <vector>

#include "common/scope_guard.h"

namespace {

const DWORD kTimeoutMs = 60000;

std::string Describe(const char* call) {
  char text[160];
  sprintf(text, "%.100s failed with error %lu", call, GetLastError());
  return text;
}

// Reads what the pipe holds now, never waiting for more.
void Drain(HANDLE pipe, std::string* bytes) {
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return;
    char buffer[4096];
    DWORD got = 0;
    DWORD want = available < sizeof buffer ? available : static_cast<DWORD>(sizeof buffer);
    if (!ReadFile(pipe, buffer, want, &got, nullptr) || got == 0) return;
    bytes->append(buffer, got);
  }
}

bool ReadBack(const std::wstring& path, std::string* bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0)
    bytes->append(buffer, got);
  CloseHandle(file);
  return ok;
}

}  // namespace

bool RunTool(const std::wstring& application, const std::wstring& commandLine, const RunOptions& options,
             ToolRun* run) {
  run->exitCode = kPoisonExitCode;
  run->out = "(poison: nothing was read)";
  run->err = "(poison: nothing was read)";
  run->failure = "(poison: the run did not finish)";

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  std::wstring errPath;
  auto closeAll = MakeScopeGuard([&] {
    for (HANDLE handle : {outRead, outWrite, errRead, errWrite}) {
      if (handle != nullptr) CloseHandle(handle);
    }
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
    if (!errPath.empty()) DeleteFileW(errPath.c_str());
  });
  if (input == INVALID_HANDLE_VALUE) {
    run->failure = Describe("CreateFile(NUL)");
    return false;
  }
  if (!CreatePipe(&outRead, &outWrite, &inherit, 65536)) {
    run->failure = Describe("CreatePipe");
    return false;
  }
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  if (options.stderrToFile) {
    wchar_t folder[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"gr", 0, path) == 0) {
      run->failure = Describe("GetTempFileName");
      return false;
    }
    errPath = path;
    errWrite = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (errWrite == INVALID_HANDLE_VALUE) {
      errWrite = nullptr;
      run->failure = Describe("CreateFile(standard error file)");
      return false;
    }
  } else {
    if (!CreatePipe(&errRead, &errWrite, &inherit, 65536)) {
      run->failure = Describe("CreatePipe");
      return false;
    }
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  BOOL started = options.token != nullptr
                     ? CreateProcessAsUserW(options.token, application.c_str(), line.data(), nullptr, nullptr,
                                            TRUE, 0, nullptr, nullptr, &startup, &process)
                     : CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  if (!started) {
    run->failure = Describe(options.token != nullptr ? "CreateProcessAsUser" : "CreateProcess");
    return false;
  }
  // Only the child may hold the write ends now.
  CloseHandle(outWrite);
  outWrite = nullptr;
  CloseHandle(errWrite);
  errWrite = nullptr;

  std::string out, err;
  DWORD started_at = GetTickCount();
  bool ended = false;
  for (;;) {
    ended = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
    Drain(outRead, &out);
    if (errRead != nullptr) Drain(errRead, &err);
    if (ended || GetTickCount() - started_at > kTimeoutMs) break;
  }
  DWORD code = kPoisonExitCode;
  if (!ended) {
    TerminateProcess(process.hProcess, kPoisonExitCode);
    WaitForSingleObject(process.hProcess, INFINITE);
  } else {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!ended) {
    run->failure = "the program did not end within 60 s";
    return false;
  }
  if (options.stderrToFile && !ReadBack(errPath, &err)) {
    run->failure = Describe("reading the standard error file");
    return false;
  }
  run->exitCode = code;
  run->out = out;
  run->err = err;
  run->failure.clear();
  return true;
}

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');  // they precede the closing quote
  quoted += L'"';
  return quoted;
}

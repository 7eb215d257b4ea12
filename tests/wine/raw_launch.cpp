// Starts a program with the exact command line held in a file, as a Windows
// caller of CreateProcess can, and exits with the program's exit code.
// Usage: raw_launch <command-line file> [<application path>]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 2) return 250;
  FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) return 251;
  static char commandLine[40000];
  size_t length = std::fread(commandLine, 1, sizeof commandLine - 1, file);
  std::fclose(file);
  commandLine[length] = 0;

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(argc > 2 ? argv[2] : nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::fprintf(stderr, "raw_launch: CreateProcess failed with %lu\n", GetLastError());
    return 252;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 253;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// Starts a program with the exact command line held in a file, as a Windows
// caller of CreateProcess can, and exits with the program's exit code.
// Usage: raw_launch [--utf16] <command-line file> [<application path>]
// The file holds the command line in the ANSI code page, or with --utf16 as
// UTF-16LE units, which reach the program unconverted through CreateProcessW.
// Started as "<name> --argv0", it writes its own argument zero to standard
// output instead: the runtime's narrow view of a program name.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--argv0") == 0) {
    std::fputs(argv[0], stdout);
    return 0;
  }
  int first = 1;
  bool utf16 = argc > 1 && std::strcmp(argv[1], "--utf16") == 0;
  if (utf16) ++first;
  if (argc < first + 1) return 250;
  FILE* file = std::fopen(argv[first], "rb");
  if (file == nullptr) return 251;
  static char commandLine[80000];
  size_t length = std::fread(commandLine, 1, sizeof commandLine - 2, file);
  std::fclose(file);
  commandLine[length] = 0;
  commandLine[length + 1] = 0;
  const char* application = argc > first + 1 ? argv[first + 1] : nullptr;

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  BOOL started;
  if (utf16) {
    static wchar_t applicationW[MAX_PATH];
    if (application != nullptr &&
        MultiByteToWideChar(CP_ACP, 0, application, -1, applicationW, MAX_PATH) == 0) {
      return 251;
    }
    started = CreateProcessW(application != nullptr ? applicationW : nullptr,
                             reinterpret_cast<wchar_t*>(commandLine), nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &startup, &process);
  } else {
    STARTUPINFOA startupA = {};
    std::memcpy(&startupA, &startup, sizeof startupA);
    started = CreateProcessA(application, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startupA,
                             &process);
  }
  if (!started) {
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

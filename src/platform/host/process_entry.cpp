// The host program's entry: its runtime hands over the arguments as bytes,
// and the tool takes UTF-16, as on Windows. Every byte string round-trips
// (see utf.h), so a name reaches the account database exactly as typed.
#include <signal.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "platform/host/utf.h"

int main(int argc, char** argv) {
  // On Windows a write to a pipe whose reader has gone fails and the program
  // goes on; here it would raise SIGPIPE and kill the process.
  (void)signal(SIGPIPE, SIG_IGN);
  std::vector<std::u16string> arguments;
  std::vector<WCHAR*> vector;
  try {
    arguments.reserve(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i) arguments.push_back(Utf8ToUtf16String(argv[i]));
    for (std::u16string& argument : arguments) vector.push_back(&argument[0]);
    vector.push_back(nullptr);
  } catch (const std::bad_alloc&) {
    // As the Windows runtime ends a process whose arguments do not fit in memory.
    static const char kMessage[] = "runtime error: not enough space for arguments\n";
    ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)ignored;
    return 255;
  }
  return wmain(argc, vector.data());
}

// The C headers, before any C++ one: the C++ library headers make MinGW link
// its own printf in place of the runtime's.
#include <stdio.h>
#include <stdlib.h>

#include "driver/usage.h"

#include "driver/exit_status.h"

namespace {

const WCHAR* g_programName = nullptr;

}  // namespace

void SetProgramName(const WCHAR* name) { g_programName = name; }

void PrintUsage() {
  // Argument zero can be as long as the command line, so its narrow form is
  // sized by the conversion itself rather than guessed.
  HANDLE heap = GetProcessHeap();
  char* shown = nullptr;
  int bytes = 0;
  if (g_programName != nullptr) {
    bytes = WideCharToMultiByte(CP_ACP, 0, g_programName, -1, nullptr, 0, nullptr, nullptr);
  }
  if (bytes > 0) shown = static_cast<char*>(HeapAlloc(heap, 0, static_cast<SIZE_T>(bytes)));
  if (shown != nullptr &&
      WideCharToMultiByte(CP_ACP, 0, g_programName, -1, shown, bytes, nullptr, nullptr) != bytes) {
    HeapFree(heap, 0, shown);
    shown = nullptr;
  }
  (void)fprintf(stderr, "Usage: %s -u <user> +r SeServiceLogonRight\n",
                shown != nullptr ? shown : "grantright");
  if (shown != nullptr) HeapFree(heap, 0, shown);
  exit(kExitUsage);
}

// The C header, before any C++ one: the C++ library headers make MinGW link
// its own printf in place of the runtime's.
#include <stdio.h>

#include "driver/report.h"

void ReportError(DWORD code, const char* step) {
  // A report that cannot be written is not reported in turn.
  (void)fprintf(stderr, "%s error!\n", step);
  // The runtime buffers stderr when it is a file or a pipe; the raw write
  // below must not overtake the step line.
  (void)fflush(stderr);

  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                GetUserDefaultLangID(), reinterpret_cast<char*>(&text), 0, nullptr);
  if (length == 0) return;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, length, &written, nullptr);
  LocalFree(text);
}

void ReportLsaError(NTSTATUS status, const char* step) { ReportError(LsaNtStatusToWinError(status), step); }

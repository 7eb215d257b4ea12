// The C headers, before any C++ one: the C++ library headers make MinGW link
// its own printf in place of the runtime's.
#include <stdio.h>
#include <stdlib.h>

#include "driver/usage.h"

#include "driver/exit_status.h"

namespace {

const char* g_programName = "grantright";

}  // namespace

void SetProgramName(const char* name) {
  if (name != nullptr) g_programName = name;
}

void PrintUsage() {
  fprintf(stderr, "Usage: %s -u <user> +r SeServiceLogonRight\n", g_programName);
  exit(kExitUsage);
}

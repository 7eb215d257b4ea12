#include "driver/command_line.h"
#include "driver/grant.h"
#include "driver/usage.h"

// The wide entry point: the arguments come split from the UTF-16 command
// line, never through the narrow vector, whose best-fit mapping turns
// look-alike characters into real ones (a full-width name into an account's,
// a full-width quote into a quote).
int wmain(int argc, WCHAR** argv) {
  NameBuffer account;
  NameBuffer right;
  SetDefaultNames(&account, &right);
  SetProgramName(argc > 0 ? argv[0] : nullptr);
  if (!ReadCommandLine(argc, argv, &account, &right)) PrintUsage();
  return GrantRight(&account, &right);
}

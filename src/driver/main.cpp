#include "driver/command_line.h"
#include "driver/grant.h"
#include "driver/usage.h"

int main(int argc, char** argv) {
  NameBuffer account;
  NameBuffer right;
  SetDefaultNames(&account, &right);
  SetProgramName(argc > 0 ? argv[0] : nullptr);
  if (!ReadCommandLine(argc, argv, &account, &right)) PrintUsage();
  return GrantRight(&account, &right);
}

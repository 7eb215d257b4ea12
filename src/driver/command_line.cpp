#include "driver/command_line.h"

#include <cstring>

namespace {

const NameBuffer kDefaultAccount = {WIDE_TEXT("quendrix")};
const NameBuffer kDefaultRight = {WIDE_TEXT("SeServiceLogonRight")};

}  // namespace

void SetDefaultNames(NameBuffer* account, NameBuffer* right) {
  *account = kDefaultAccount;
  *right = kDefaultRight;
}

bool ReadCommandLine(int argc, const char* const* argv, NameBuffer* account, NameBuffer* right) {
  int i = 1;
  while (i < argc) {
    NameBuffer* target;
    if (std::strcmp(argv[i], "-u") == 0) {
      target = account;
    } else if (std::strcmp(argv[i], "+r") == 0) {
      target = right;
    } else {
      return false;
    }
    ++i;
    if (i >= argc) return false;
    // Widens from the ANSI code page and cuts at 255 characters; the
    // formatter always writes the terminator, so its count is not needed.
    wsprintfW(target->units, WIDE_TEXT("%.255hS"), argv[i]);
    ++i;
  }
  return true;
}

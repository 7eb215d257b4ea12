#include "driver/command_line.h"

#include <cstring>

namespace {

const WCHAR kDefaultAccount[] = WIDE_TEXT("quendrix");
const WCHAR kDefaultRight[] = WIDE_TEXT("SeServiceLogonRight");

// Option words match whole arguments, unit for unit.
bool IsWord(const WCHAR* argument, const WCHAR* word) {
  while (*argument != 0 && *argument == *word) ++argument, ++word;
  return *argument == *word;
}

// A value is taken whole or not at all: cut short, it could be the name of
// another account, one nobody typed.
bool SetName(NameBuffer* target, const WCHAR* value) {
  int units = 0;
  while (units <= kNameMaxChars && value[units] != 0) ++units;
  if (units > kNameMaxChars) return false;
  std::memcpy(target->units, value, units * sizeof(WCHAR));
  std::memset(target->units + units, 0, (kNameBufferUnits - units) * sizeof(WCHAR));
  return true;
}

}  // namespace

void SetDefaultNames(NameBuffer* account, NameBuffer* right) {
  (void)SetName(account, kDefaultAccount);
  (void)SetName(right, kDefaultRight);
}

bool ReadCommandLine(int argc, const WCHAR* const* argv, NameBuffer* account, NameBuffer* right) {
  int i = 1;
  while (i < argc) {
    NameBuffer* target;
    if (IsWord(argv[i], WIDE_TEXT("-u"))) {
      target = account;
    } else if (IsWord(argv[i], WIDE_TEXT("+r"))) {
      target = right;
    } else {
      return false;
    }
    ++i;
    if (i >= argc) return false;
    if (!SetName(target, argv[i])) return false;
    ++i;
  }
  return true;
}

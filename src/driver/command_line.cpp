#include "driver/command_line.h"

#include <cstring>

namespace {

const WCHAR kDefaultAccount[] = WIDE_TEXT("quendrix");
const WCHAR kDefaultRight[] = WIDE_TEXT("SeServiceLogonRight");

bool IsHighSurrogate(WCHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(WCHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Option words match whole arguments, unit for unit.
bool IsWord(const WCHAR* argument, const WCHAR* word) {
  while (*argument != 0 && *argument == *word) ++argument, ++word;
  return *argument == *word;
}

void SetName(NameBuffer* target, const WCHAR* value) {
  int units = 0;
  while (units < kNameMaxChars && value[units] != 0) ++units;
  if (units == kNameMaxChars && IsHighSurrogate(value[units - 1]) && IsLowSurrogate(value[units])) --units;
  std::memcpy(target->units, value, units * sizeof(WCHAR));
  std::memset(target->units + units, 0, (kNameBufferUnits - units) * sizeof(WCHAR));
}

}  // namespace

void SetDefaultNames(NameBuffer* account, NameBuffer* right) {
  SetName(account, kDefaultAccount);
  SetName(right, kDefaultRight);
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
    SetName(target, argv[i]);
    ++i;
  }
  return true;
}

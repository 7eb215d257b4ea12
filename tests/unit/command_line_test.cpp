// Reading the command line into the two name buffers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.h"

namespace {

// The name up to its terminator, which must lie within the buffer.
std::u16string Text(const NameBuffer& buffer) {
  for (int i = 0; i < kNameBufferUnits; ++i) {
    if (buffer.units[i] == 0) return std::u16string(buffer.units, i);
  }
  return u"<not terminated>";
}

struct CommandLineCase {
  const char* name;
  std::vector<std::u16string> args;  // after argument zero
  bool wellFormed;
  std::u16string account;  // expected when well-formed
  std::u16string right;
};

const std::u16string k255(255, u'a');
const std::u16string k300(300, u'a');
const std::u16string kPair = u"\U0001F600";  // two UTF-16 units

const CommandLineCase kCases[] = {
    {"no arguments", {}, true, u"quendrix", u"SeServiceLogonRight"},
    {"account only", {u"-u", u"alice"}, true, u"alice", u"SeServiceLogonRight"},
    {"last account wins", {u"-u", u"alice", u"-u", u"bob"}, true, u"bob", u"SeServiceLogonRight"},
    {"right before account", {u"+r", u"X", u"-u", u"alice"}, true, u"alice", u"X"},
    {"last right wins", {u"+r", u"A", u"-u", u"x", u"+r", u"B"}, true, u"x", u"B"},
    {"option word as value", {u"-u", u"+r"}, true, u"+r", u"SeServiceLogonRight"},
    {"empty value", {u"-u", u""}, true, u"", u"SeServiceLogonRight"},
    {"value not trimmed", {u"-u", u" a b "}, true, u" a b ", u"SeServiceLogonRight"},
    {"255 units taken whole", {u"+r", k255}, true, u"quendrix", k255},
    // Values are taken unit for unit: no look-alike becomes what it resembles.
    {"full-width letters kept",
     {u"-u", u"\uFF25\uFF56\uFF45\uFF52\uFF59\uFF4F\uFF4E\uFF45"},
     true,
     u"\uFF25\uFF56\uFF45\uFF52\uFF59\uFF4F\uFF4E\uFF45",
     u"SeServiceLogonRight"},
    {"full-width quote and backslash kept",
     {u"-u", u"\uFF02a\uFF3Cb\uFF02"},
     true,
     u"\uFF02a\uFF3Cb\uFF02",
     u"SeServiceLogonRight"},
    {"outside the BMP", {u"+r", u"a" + kPair}, true, u"quendrix", u"a" + kPair},
    {"lone surrogates kept",
     {u"-u",
      u"a\xDCFF\xD800"
      u"b"},
     true,
     u"a\xDCFF\xD800"
     u"b",
     u"SeServiceLogonRight"},
    {"pair that ends at 255 units",
     {u"-u", std::u16string(253, u'a') + kPair},
     true,
     std::u16string(253, u'a') + kPair,
     u"SeServiceLogonRight"},
    // Cut short, a name could be another account's: a longer value is refused.
    {"256 units", {u"-u", k255 + u"b"}, false, u"", u""},
    {"300 units", {u"+r", k300}, false, u"", u""},
    {"pair past 255 units", {u"-u", std::u16string(254, u'a') + kPair}, false, u"", u""},
    {"long value read before a good one", {u"-u", k300, u"-u", u"alice"}, false, u"", u""},
    {"lone -u", {u"-u"}, false, u"", u""},
    {"right without value", {u"-u", u"alice", u"+r"}, false, u"", u""},
    {"capital U", {u"-U", u"alice"}, false, u"", u""},
    {"double dash", {u"--u", u"alice"}, false, u"", u""},
    {"full-width option word", {u"\uFF0Du", u"alice"}, false, u"", u""},
    {"stray third argument", {u"-u", u"alice", u"extra"}, false, u"", u""},
    {"empty option word", {u""}, false, u"", u""},
    {"option with suffix", {u"-ualice"}, false, u"", u""},
    {"option prefix only", {u"-"}, false, u"", u""},
};

TEST(CommandLine, ReadsPairsOrRejects) {
  for (const CommandLineCase& row : kCases) {
    std::vector<const WCHAR*> argv = {u"grantright"};
    for (const std::u16string& arg : row.args) argv.push_back(arg.c_str());
    NameBuffer account;
    NameBuffer right;
    SetDefaultNames(&account, &right);
    // Poisoned past the defaults, so a value that is not terminated shows.
    for (int i = 20; i < kNameBufferUnits; ++i) account.units[i] = right.units[i] = 0x5A5A;
    bool wellFormed = ReadCommandLine(static_cast<int>(argv.size()), argv.data(), &account, &right);
    ASSERT_EQ(row.wellFormed, wellFormed) << row.name;
    if (!wellFormed) continue;
    EXPECT_EQ(row.account, Text(account)) << row.name;
    EXPECT_EQ(row.right, Text(right)) << row.name;
  }
}

TEST(CommandLine, DefaultsLeaveEveryOtherUnitZero) {
  NameBuffer account;
  NameBuffer right;
  for (WCHAR& unit : account.units) unit = 0x5A5A;
  for (WCHAR& unit : right.units) unit = 0x5A5A;
  SetDefaultNames(&account, &right);
  EXPECT_EQ(u"quendrix", Text(account));
  EXPECT_EQ(u"SeServiceLogonRight", Text(right));
  for (int i = 8; i < kNameBufferUnits; ++i) ASSERT_EQ(0, account.units[i]) << "account unit " << i;
  for (int i = 19; i < kNameBufferUnits; ++i) ASSERT_EQ(0, right.units[i]) << "right unit " << i;
}

}  // namespace

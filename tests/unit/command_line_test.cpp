// Reading the command line into the two name buffers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.h"

namespace {

std::u16string Text(const NameBuffer& buffer) { return std::u16string(buffer.units); }

struct CommandLineCase {
  const char* name;
  std::vector<std::string> args;  // after argument zero
  bool wellFormed;
  std::u16string account;  // expected when well-formed
  std::u16string right;
};

const std::string k300(300, 'a');

const CommandLineCase kCases[] = {
    {"no arguments", {}, true, u"quendrix", u"SeServiceLogonRight"},
    {"account only", {"-u", "alice"}, true, u"alice", u"SeServiceLogonRight"},
    {"last account wins", {"-u", "alice", "-u", "bob"}, true, u"bob", u"SeServiceLogonRight"},
    {"right before account", {"+r", "X", "-u", "alice"}, true, u"alice", u"X"},
    {"last right wins", {"+r", "A", "-u", "x", "+r", "B"}, true, u"x", u"B"},
    {"option word as value", {"-u", "+r"}, true, u"+r", u"SeServiceLogonRight"},
    {"empty value", {"-u", ""}, true, u"", u"SeServiceLogonRight"},
    {"value not trimmed", {"-u", " a b "}, true, u" a b ", u"SeServiceLogonRight"},
    {"value cut at 255", {"-u", k300}, true, std::u16string(255, u'a'), u"SeServiceLogonRight"},
    {"UTF-8 widened", {"+r", "Jos\xC3\xA9"}, true, u"quendrix", u"Jos\u00E9"},
    {"lone -u", {"-u"}, false, u"", u""},
    {"right without value", {"-u", "alice", "+r"}, false, u"", u""},
    {"capital U", {"-U", "alice"}, false, u"", u""},
    {"double dash", {"--u", "alice"}, false, u"", u""},
    {"stray third argument", {"-u", "alice", "extra"}, false, u"", u""},
    {"empty option word", {""}, false, u"", u""},
    {"option with suffix", {"-ualice"}, false, u"", u""},
};

TEST(CommandLine, ReadsPairsOrRejects) {
  for (const CommandLineCase& row : kCases) {
    std::vector<const char*> argv = {"grantright"};
    for (const std::string& arg : row.args) argv.push_back(arg.c_str());
    NameBuffer account;
    NameBuffer right;
    SetDefaultNames(&account, &right);
    bool wellFormed = ReadCommandLine(static_cast<int>(argv.size()), argv.data(), &account, &right);
    ASSERT_EQ(row.wellFormed, wellFormed) << row.name;
    if (!wellFormed) continue;
    EXPECT_EQ(row.account, Text(account)) << row.name;
    EXPECT_EQ(row.right, Text(right)) << row.name;
    EXPECT_EQ(0, account.units[kNameMaxChars]) << row.name;
    EXPECT_EQ(0, right.units[kNameMaxChars]) << row.name;
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

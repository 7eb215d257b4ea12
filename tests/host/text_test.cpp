// The host's text services: the wide formatter, status codes and message texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/security_authority.h"

namespace {

struct FormatCase {
  const char* name;
  std::string input;
  std::u16string expected;
};

TEST(WideFormat, WidensAndCutsAt255UnitsWithoutSplittingAPair) {
  const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units
  const FormatCase cases[] = {
      {"ASCII", "alice", u"alice"},
      {"empty", "", u""},
      {"cut at 255", std::string(300, 'x'), std::u16string(255, u'x')},
      {"multi-byte cut by units", [] { std::string s; for (int i = 0; i < 300; ++i) s += "\xC3\xA9"; return s; }(),
       std::u16string(255, u'\u00E9')},
      {"pair that fits", std::string(253, 'a') + emoji, std::u16string(253, u'a') + u"\U0001F600"},
      {"pair that would split", std::string(254, 'a') + emoji + "b", std::u16string(254, u'a')},
      {"invalid bytes", "a\xFF" "b\xC3", u"a\uFFFDb\uFFFD"},
      {"truncated sequence", "\xE2\x82z", u"\uFFFD\uFFFDz"},
      {"overlong encoding", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
  };
  for (const FormatCase& row : cases) {
    WCHAR buffer[256];
    for (WCHAR& unit : buffer) unit = 0x5A5A;
    int count = wsprintfW(buffer, u"%.255hS", row.input.c_str());
    EXPECT_EQ(row.expected, std::u16string(buffer)) << row.name;
    EXPECT_EQ(static_cast<int>(row.expected.size()), count) << row.name;
  }
}

TEST(StatusCodes, ConvertAsWindowsDoes) {
  const std::pair<uint32_t, ULONG> cases[] = {
      {0, 0},           {0xC0000022, 5},    {0xC0000060, 1313}, {0xC0000017, 8},
      {0xC000000D, 87}, {0xC0000073, 1332}, {0xC00000E4, 1358}, {0xC0000001, 317},
      {0xC000007F, 112}, {0xC0000008, 6},   {0xC0000055, 33},   {0xC0000904, 223},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(row.second, LsaNtStatusToWinError(static_cast<NTSTATUS>(row.first))) << std::hex << row.first;
  }
}

TEST(MessageTable, EnglishTextsEndInALineFeed) {
  const DWORD withText[] = {0, 5, 6, 8, 33, 87, 112, 223, 1313, 1332, 1358, 1359};
  for (DWORD code : withText) {
    char* text = nullptr;
    DWORD length = FormatMessageA(0x1100, nullptr, code, GetUserDefaultLangID(), reinterpret_cast<char*>(&text), 0,
                                  nullptr);
    ASSERT_GT(length, 1u) << code;
    EXPECT_EQ(std::strlen(text), length) << code;
    EXPECT_EQ('\n', text[length - 1]) << code;
    LocalFree(text);
  }
  EXPECT_EQ(0x0409, GetUserDefaultLangID());
  // Texts a test cannot tell from their shape alone: Windows' own words.
  const std::pair<DWORD, std::string> exact[] = {
      {33, "The process cannot access the file because another process has locked a portion of the file.\n"},
      {223, "The file size exceeds the limit allowed and cannot be saved.\n"},
      {8, "Not enough memory resources are available to process this command.\n"},
  };
  for (const auto& row : exact) {
    char* text = nullptr;
    ASSERT_NE(0u, FormatMessageA(0x1100, nullptr, row.first, 0x0409, reinterpret_cast<char*>(&text), 0, nullptr))
        << row.first;
    EXPECT_EQ(row.second, text) << row.first;
    LocalFree(text);
  }
  char* text = nullptr;
  EXPECT_EQ(0u, FormatMessageA(0x1100, nullptr, 317, 0x0409, reinterpret_cast<char*>(&text), 0, nullptr));
  EXPECT_EQ(0u, FormatMessageA(0x1100, nullptr, 5, 0x0407, reinterpret_cast<char*>(&text), 0, nullptr));
}

}  // namespace

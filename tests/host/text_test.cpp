// The host's text services: arguments as UTF-16, status codes and message texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/host/utf.h"
#include "platform/security_authority.h"

namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::u16string expected;
};

// Arguments arrive as bytes: UTF-8 decodes as usual, and each byte that is
// part of no well-formed sequence becomes U+DC80 + byte; the bytes come back
// exactly, both through the lookup's reading of a name and through the narrow
// conversion the usage line takes.
TEST(HostText, EveryByteStringRoundTrips) {
  const DecodeCase cases[] = {
      {"ASCII", "alice", u"alice"},
      {"empty", "", u""},
      {"two-byte", "caf\xC3\xA9", u"caf\u00E9"},
      {"outside the BMP", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"invalid bytes", "x\xFF", u"x\xDCFF"},
      {"latin-1 byte", "caf\xE9", u"caf\xDCE9"},
      {"truncated sequence", "\xE2\x82z", u"\xDCE2\xDC82z"},
      {"overlong encoding", "\xC0\xAF", u"\xDCC0\xDCAF"},
      {"encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
      {"U+FFFD itself", "x\xEF\xBF\xBD", u"x\uFFFD"},
  };
  for (const DecodeCase& row : cases) {
    const std::u16string decoded = Utf8ToUtf16String(row.bytes);
    EXPECT_EQ(row.expected, decoded) << row.name;
    std::string bytes = "poison";
    EXPECT_TRUE(BytesOfName(decoded.data(), decoded.size(), &bytes)) << row.name;
    EXPECT_EQ(row.bytes, bytes) << row.name;

    char narrow[64];
    std::memset(narrow, 'P', sizeof narrow);
    const int needed = WideCharToMultiByte(CP_ACP, 0, decoded.c_str(), -1, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(static_cast<int>(row.bytes.size() + 1), needed) << row.name;
    EXPECT_EQ(needed, WideCharToMultiByte(CP_ACP, 0, decoded.c_str(), -1, narrow, needed, nullptr, nullptr))
        << row.name;
    EXPECT_EQ(row.bytes + '\0', std::string(narrow, static_cast<size_t>(needed))) << row.name;
    if (needed > 1) {
      EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, decoded.c_str(), -1, narrow, needed - 1, nullptr, nullptr))
          << row.name << ": a short buffer";
    }
  }
}

// Names no byte string decodes to have no bytes: they name no account.
TEST(HostText, NamesThatNoBytesDecodeToHaveNoBytes) {
  const std::u16string names[] = {
      u"\xDCC3\xDCA9",  // escapes that spell U+00E9, a name of its own
      u"a\xDC41",       // below the escapes: no byte is escaped as this
      u"a\xD800",       // lone high surrogate
      u"a\xDC00"
      u"b",  // lone low surrogate outside the escapes
  };
  for (const std::u16string& name : names) {
    std::string bytes;
    EXPECT_FALSE(BytesOfName(name.data(), name.size(), &bytes)) << name.size();
  }
}

TEST(StatusCodes, ConvertAsWindowsDoes) {
  const std::pair<uint32_t, ULONG> cases[] = {
      {0, 0},
      {0xC0000022, 5},
      {0xC0000060, 1313},
      {0xC0000017, 8},
      {0xC000000D, 87},
      {0xC0000073, 1332},
      {0xC00000E4, 1358},
      {0xC0000001, 317},
      {0xC000007F, 112},
      {0xC0000008, 6},
      {0xC0000055, 33},
      {0xC0000904, 223},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(row.second, LsaNtStatusToWinError(static_cast<NTSTATUS>(row.first))) << std::hex << row.first;
  }
}

TEST(MessageTable, EnglishTextsEndInALineFeed) {
  const DWORD withText[] = {0, 5, 6, 8, 33, 87, 112, 223, 1313, 1332, 1358, 1359};
  for (DWORD code : withText) {
    char* text = nullptr;
    DWORD length = FormatMessageA(0x1100, nullptr, code, GetUserDefaultLangID(),
                                  reinterpret_cast<char*>(&text), 0, nullptr);
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
    ASSERT_NE(0u,
              FormatMessageA(0x1100, nullptr, row.first, 0x0409, reinterpret_cast<char*>(&text), 0, nullptr))
        << row.first;
    EXPECT_EQ(row.second, text) << row.first;
    LocalFree(text);
  }
  char* text = nullptr;
  EXPECT_EQ(0u, FormatMessageA(0x1100, nullptr, 317, 0x0409, reinterpret_cast<char*>(&text), 0, nullptr));
  EXPECT_EQ(0u, FormatMessageA(0x1100, nullptr, 5, 0x0407, reinterpret_cast<char*>(&text), 0, nullptr));
}

}  // namespace

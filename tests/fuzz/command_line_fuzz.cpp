// Fuzzes the host's reading of argument bytes as UTF-16 and the command-line
// reader after it: the input is the argument vector after argument zero,
// arguments separated by NUL bytes. For every input the outcome and the two
// buffers must agree with a plain reading of the same arguments written here
// without the program's code, and the buffers must stay terminated within
// 256 units and hold no broken surrogate pair.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "platform/host/utf.h"

namespace {

constexpr size_t kMaxArguments = 64;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "command-line fuzz check failed: %s\n", what);
    std::abort();
  }
}

// The length of the well-formed UTF-8 sequence at `at`, or 0, from the table
// of well-formed byte sequences in the Unicode standard.
size_t WellFormedLength(const std::string& text, size_t at, char32_t* codePoint) {
  auto byte = [&](size_t i) -> unsigned {
    return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0x100;
  };
  auto in = [](unsigned value, unsigned low, unsigned high) { return value >= low && value <= high; };
  unsigned b0 = byte(0), b1 = byte(1), b2 = byte(2), b3 = byte(3);
  size_t length = 0;
  if (b0 <= 0x7F) {
    length = 1;
  } else if (in(b0, 0xC2, 0xDF) && in(b1, 0x80, 0xBF)) {
    length = 2;
  } else if ((b0 == 0xE0 && in(b1, 0xA0, 0xBF)) || (in(b0, 0xE1, 0xEC) && in(b1, 0x80, 0xBF)) ||
             (b0 == 0xED && in(b1, 0x80, 0x9F)) || (in(b0, 0xEE, 0xEF) && in(b1, 0x80, 0xBF))) {
    length = in(b2, 0x80, 0xBF) ? 3 : 0;
  } else if ((b0 == 0xF0 && in(b1, 0x90, 0xBF)) || (in(b0, 0xF1, 0xF3) && in(b1, 0x80, 0xBF)) ||
             (b0 == 0xF4 && in(b1, 0x80, 0x8F))) {
    length = in(b2, 0x80, 0xBF) && in(b3, 0x80, 0xBF) ? 4 : 0;
  }
  static const unsigned kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  if (length > 0) {
    *codePoint = b0 & kLeadMask[length];
    for (size_t i = 1; i < length; ++i) *codePoint = (*codePoint << 6) | (byte(i) & 0x3F);
  }
  return length;
}

// The value as the buffer should hold it: UTF-16, U+DC80 + byte for each
// byte that starts no well-formed sequence.
std::u16string Expected(const std::string& value) {
  std::u16string units;
  for (size_t at = 0; at < value.size();) {
    char32_t codePoint = 0xDC00 + static_cast<unsigned char>(value[at]);
    size_t length = WellFormedLength(value, at, &codePoint);
    at += length == 0 ? 1 : length;
    if (codePoint < 0x10000) {
      units += static_cast<char16_t>(codePoint);
    } else {
      units += static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
    }
  }
  return units;
}

void CheckBuffer(const NameBuffer& buffer, const std::u16string& expected) {
  size_t length = 0;
  while (length < kNameBufferUnits && buffer.units[length] != 0) ++length;
  Check(length <= kNameMaxChars, "terminated within 256 units, at most 255 characters");
  for (size_t i = 0; i < length; ++i) {
    char16_t unit = buffer.units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      Check(i + 1 < length && buffer.units[i + 1] >= 0xDC00 && buffer.units[i + 1] <= 0xDFFF, "whole pairs");
      ++i;
    } else {
      Check(unit < 0xDC00 || unit > 0xDFFF || (unit >= 0xDC80 && unit <= 0xDCFF),
            "no lone low surrogate but an escaped byte");
    }
  }
  Check(std::u16string(buffer.units, length) == expected, "same value as the plain reading");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args = {"grantright"};
  std::string current;
  for (size_t i = 0; i < size && args.size() <= kMaxArguments; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (size > 0 && args.size() <= kMaxArguments) args.push_back(current);

  // The plain reading: pairs of "-u" or "+r" and a value of at most 255
  // UTF-16 units; anything else is malformed.
  bool wellFormed = true;
  std::u16string account = u"quendrix";
  std::u16string right = u"SeServiceLogonRight";
  for (size_t i = 1; i < args.size(); i += 2) {
    if ((args[i] != "-u" && args[i] != "+r") || i + 1 >= args.size()) {
      wellFormed = false;
      break;
    }
    const std::u16string value = Expected(args[i + 1]);
    if (value.size() > 255) {
      wellFormed = false;
      break;
    }
    (args[i] == "-u" ? account : right) = value;
  }

  // The arguments as the host platform hands them to the tool.
  std::vector<std::u16string> wide;
  for (const std::string& arg : args) wide.push_back(Utf8ToUtf16String(arg));
  std::vector<const WCHAR*> argv;
  for (const std::u16string& arg : wide) argv.push_back(arg.c_str());
  NameBuffer accountBuffer;
  NameBuffer rightBuffer;
  SetDefaultNames(&accountBuffer, &rightBuffer);
  bool read = ReadCommandLine(static_cast<int>(argv.size()), argv.data(), &accountBuffer, &rightBuffer);
  Check(read == wellFormed, "usage exactly when the arguments are malformed");
  if (read) {
    CheckBuffer(accountBuffer, account);
    CheckBuffer(rightBuffer, right);
  }
  return 0;
}

// Checks of a Windows executable read as data: what it runs on, what it
// imports, and the manifest and version resources it carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "pe/pe_image.h"
#include "support/process.h"

namespace {

struct Expected {
  std::string exe;
  std::string name;      // file name without .exe
  std::string machine;   // i386 or x64
  std::string version;   // the project's version, major.minor.patch
  std::string manifest;  // path of the manifest source
  std::string imports;   // path of the list of functions it may import, "DLL:function" a line
};
Expected g_expected;

// Functions a toolchain is known to pull in that Windows XP lacks: named in
// the failure, since each is a known way to break XP without Wine noticing.
const std::set<std::string> kPostXpFunctions = {
    "GetTickCount64",
    "InitializeCriticalSectionEx",
    "InitOnceExecuteOnce",
    "InitializeSRWLock",
    "AcquireSRWLockExclusive",
    "ReleaseSRWLockExclusive",
    "InitializeConditionVariable",
    "SleepConditionVariableCS",
    "WakeAllConditionVariable",
    "FlsAlloc",
    "FlsFree",
    "FlsGetValue",
    "FlsSetValue",
    "CreateEventExW",
    "GetFileInformationByHandleEx",
    "SetFileInformationByHandle",
    "GetCurrentProcessorNumber",
    "GetSystemTimePreciseAsFileTime",
    "CompareStringEx",
    "LCMapStringEx",
    "GetLocaleInfoEx",
    "GetFinalPathNameByHandleW",
    "CreateSymbolicLinkW",
    "RaiseFailFastException",
};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Utf16(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) wide += std::string{c, '\0'};
  return wide;
}

// The value of a string in a version resource: the key, its terminator and
// padding, then the value up to its terminator.
std::string VersionString(const std::string& resource, const std::string& key) {
  size_t at = resource.find(Utf16(key) + std::string(2, '\0'));
  if (at == std::string::npos) return "<missing>";
  at += 2 * key.size();
  while (at + 1 < resource.size() && resource[at] == 0 && resource[at + 1] == 0) at += 2;
  std::string value;
  for (; at + 1 < resource.size() && (resource[at] != 0 || resource[at + 1] != 0); at += 2)
    value += resource[at];
  return value;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class PeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(g_expected.exe.empty()) << "run with --exe= --name= --machine= --version= --manifest=";
    std::string error;
    ASSERT_TRUE(ReadPeImage(ReadWholeFile(g_expected.exe), &image_, &error))
        << g_expected.exe << ": " << error;
  }
  bool Is64() const { return g_expected.machine == "x64"; }
  PeImage image_;
};

TEST_F(PeTest, IsAConsoleProgramForWindowsXp) {
  EXPECT_EQ(Is64() ? 0x8664 : 0x14C, image_.machine);
  EXPECT_EQ(Is64() ? 0x20B : 0x10B, image_.magic);
  EXPECT_EQ(3, image_.subsystem) << "console";
  const uint16_t minor = Is64() ? 2 : 1;
  EXPECT_EQ(5, image_.osMajor);
  EXPECT_EQ(minor, image_.osMinor);
  EXPECT_EQ(5, image_.subsystemMajor);
  EXPECT_EQ(minor, image_.subsystemMinor);
  EXPECT_EQ(0u, image_.timeDateStamp) << "a time stamp makes builds differ";
  const struct {
    uint16_t bit;
    const char* name;
  } required[] = {{0x0040, "dynamic base"}, {0x0100, "NX compatible"}, {0x8000, "terminal-server aware"}};
  for (const auto& flag : required) EXPECT_NE(0, image_.dllCharacteristics & flag.bit) << flag.name;
}

// Every function the program may import is on its list, each checked to be
// present on Windows XP SP3 (and, for the 64-bit build, on Windows XP x64):
// a new import is a decision, listed only after that check. The DLLs are the
// ones the list names (for the tool: no USER32, whose loading was most of a
// start-up's cost, and which it does not need).
TEST_F(PeTest, ImportsOnlyWhatWindowsXpHas) {
  std::set<std::string> allowed;
  std::set<std::string> dlls;
  const std::string list = ReadWholeFile(g_expected.imports);
  for (size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string entry = list.substr(at, end - at);
    allowed.insert(entry);
    dlls.insert(Upper(entry.substr(0, entry.find(':'))));
  }
  ASSERT_FALSE(allowed.empty()) << "no list of imports read from " << g_expected.imports;
  ASSERT_FALSE(image_.imports.empty());
  for (const PeImport& import : image_.imports) {
    EXPECT_EQ(1u, dlls.count(Upper(import.dll))) << import.dll << " is not a DLL every Windows has";
    EXPECT_EQ(0u, kPostXpFunctions.count(import.function))
        << import.function << " (from " << import.dll << ") does not exist on Windows XP";
    EXPECT_EQ(1u, allowed.count(import.dll + ":" + import.function))
        << "new import " << import.dll << ":" << import.function
        << "; check that Windows XP has it, then list it";
  }
}

TEST_F(PeTest, CarriesItsManifest) {
  int manifests = 0;
  for (const auto& resource : image_.resources) manifests += std::get<0>(resource.first) == 24;
  EXPECT_EQ(1, manifests);
  auto found = image_.resources.find({24, 1, 0x409});
  ASSERT_NE(image_.resources.end(), found) << "no manifest of id 1 in US English";
  const std::string& xml = found->second;
  EXPECT_EQ(ReadWholeFile(g_expected.manifest), xml);
  EXPECT_NE(std::string::npos,
            xml.find("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"));
  EXPECT_NE(std::string::npos, xml.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"));
  EXPECT_EQ(1u, Count(xml, "urn:schemas-microsoft-com:asm.v3")) << "the trustInfo namespace, declared once";
  EXPECT_LT(xml.find("<trustInfo"), xml.find("<security>"));
  EXPECT_LT(xml.find("<security>"), xml.find("<requestedPrivileges>"));
  EXPECT_LT(xml.find("<requestedPrivileges>"), xml.find("<requestedExecutionLevel"));
}

TEST_F(PeTest, CarriesItsVersion) {
  auto found = image_.resources.find({16, 1, 0x409});
  ASSERT_NE(image_.resources.end(), found) << "no version resource";
  const std::string& resource = found->second;
  size_t fixed = resource.find(std::string("\xBD\x04\xEF\xFE", 4));
  ASSERT_NE(std::string::npos, fixed);
  auto word = [&](size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(resource[at]) |
                                 static_cast<unsigned char>(resource[at + 1]) << 8);
  };
  std::string fileVersion = std::to_string(word(fixed + 10)) + "." + std::to_string(word(fixed + 8)) + "." +
                            std::to_string(word(fixed + 14)) + "." + std::to_string(word(fixed + 12));
  EXPECT_EQ(g_expected.version + ".0", fileVersion);
  EXPECT_EQ(g_expected.version, VersionString(resource, "FileVersion"));
  EXPECT_EQ(g_expected.version, VersionString(resource, "ProductVersion"));
  EXPECT_EQ("grantright", VersionString(resource, "ProductName"));
  EXPECT_EQ(g_expected.name + ".exe", VersionString(resource, "OriginalFilename"));
  EXPECT_EQ("Grants a user right to an account in the local security policy",
            VersionString(resource, "FileDescription"));
  EXPECT_NE(std::string::npos, resource.find(Utf16("040904B0")));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto take = [&](const char* flag, std::string* into) {
      std::string prefix = std::string("--") + flag + "=";
      if (arg.rfind(prefix, 0) == 0) *into = arg.substr(prefix.size());
    };
    take("exe", &g_expected.exe);
    take("name", &g_expected.name);
    take("machine", &g_expected.machine);
    take("version", &g_expected.version);
    take("manifest", &g_expected.manifest);
    take("imports", &g_expected.imports);
  }
  return RUN_ALL_TESTS();
}

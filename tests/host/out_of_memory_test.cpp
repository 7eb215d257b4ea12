// The host platform when memory runs out: each C++ allocation of a lookup and
// a grant fails in turn. The call it falls in fails with the out-of-memory
// code, the others succeed, the store is left as it was, and nothing aborts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <new>
#include <string>

#include "platform/host/host_sid.h"
#include "platform/security_authority.h"
#include "support/process.h"

namespace {

long g_allocationsBeforeFailure = -1;  // -1: none fails
bool g_allocationFailed = false;

}  // namespace

void* operator new(std::size_t bytes) {
  if (g_allocationsBeforeFailure >= 0 && g_allocationsBeforeFailure-- == 0) {
    g_allocationFailed = true;
    throw std::bad_alloc();
  }
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

const NTSTATUS kNoMemory = static_cast<NTSTATUS>(0xC0000017);

TEST(OutOfMemory, EachAllocationFailingInTurnEndsInTheOutOfMemoryCode) {
  const std::string folder = MakeTemporaryFolder();
  const std::string store = folder + "/policy";
  setenv("GRANTRIGHT_POLICY_STORE", store.c_str(), 1);
  std::string before;
  for (int i = 0; i < 1000; ++i) before += "S-1-22-1-" + std::to_string(100000 + i) + " SeBatchLogonRight\n";
  const std::string granted = before + "S-1-22-1-0 SeServiceLogonRight\n";
  unsigned char rootSid[kHostSidBytes];
  MakeHostSid(kHostUserKind, 0, rootSid);

  int failures = 0;
  for (long allocation = 0;; ++allocation) {
    WriteWholeFile(store, before);
    const std::string name = "allocation #" + std::to_string(allocation);
    unsigned char sid[64];
    WCHAR domain[300];
    DWORD sidBytes = sizeof sid, domainChars = 300;
    SID_NAME_USE use;
    std::u16string right = u"SeServiceLogonRight";
    LSA_UNICODE_STRING rightName = {38, 40, &right[0]};
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = nullptr;

    g_allocationFailed = false;
    g_allocationsBeforeFailure = allocation;
    BOOL found = LookupAccountNameW(nullptr, u"root", sid, &sidBytes, domain, &domainChars, &use);
    DWORD lookupError = found ? 0 : GetLastError();
    NTSTATUS opened = LsaOpenPolicy(nullptr, &attributes, 0x810, &policy);
    NTSTATUS added = opened == 0 ? LsaAddAccountRights(policy, rootSid, &rightName, 1) : 0;
    NTSTATUS closed = opened == 0 ? LsaClose(policy) : 0;
    g_allocationsBeforeFailure = -1;

    const std::string after = ReadWholeFile(store);
    if (!g_allocationFailed) {  // every allocation has had its turn
      EXPECT_TRUE(found) << name;
      EXPECT_EQ(0, opened) << name;
      EXPECT_EQ(0, added) << name;
      EXPECT_TRUE(after == granted) << name << ": the store";
      break;
    }
    ++failures;
    EXPECT_EQ(1, !found + (opened != 0) + (added != 0)) << name << ": exactly one call fails";
    EXPECT_EQ(found ? 0 : ERROR_NOT_ENOUGH_MEMORY, lookupError) << name;
    EXPECT_TRUE(opened == 0 || opened == kNoMemory) << name << std::hex << ": " << opened;
    EXPECT_EQ(opened == 0, policy != nullptr) << name;
    EXPECT_TRUE(added == 0 || added == kNoMemory) << name << std::hex << ": " << added;
    EXPECT_EQ(0, closed) << name;
    EXPECT_TRUE(after == (opened == 0 && added == 0 ? granted : before)) << name << ": the store";
  }
  EXPECT_GT(failures, 3);
  unsetenv("GRANTRIGHT_POLICY_STORE");
  RemoveTree(folder);
}

// The narrow conversion the usage line takes: each allocation failing in
// turn ends in 0 with the out-of-memory code, never an abort.
TEST(OutOfMemory, NarrowConversionFailsCleanly) {
  const std::u16string names[] = {u"gr\xDCFFntright", u"gr\xD800ntright"};  // escaped byte; unpaired
  const std::string expected[] = {"gr\xFFntright", "gr?ntright"};
  for (int row = 0; row < 2; ++row) {
    for (long allocation = 0;; ++allocation) {
      char narrow[32];
      SetLastError(0);
      g_allocationFailed = false;
      g_allocationsBeforeFailure = allocation;
      int bytes =
          WideCharToMultiByte(CP_ACP, 0, names[row].c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
      g_allocationsBeforeFailure = -1;
      if (!g_allocationFailed) {
        EXPECT_EQ(expected[row], std::string(narrow)) << row;
        break;
      }
      EXPECT_EQ(0, bytes) << row << " allocation #" << allocation;
      EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError()) << row << " allocation #" << allocation;
    }
  }
}

}  // namespace

#include "policy.h"

#include <ntsecapi.h>
#include <stdio.h>

#include "common/scope_guard.h"

namespace {

const NTSTATUS kStatusObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);

std::string DescribeStatus(const char* call, NTSTATUS status) {
  char text[160];
  sprintf(text, "%.100s failed with status 0x%08lX (error %lu)", call, static_cast<unsigned long>(status),
          LsaNtStatusToWinError(status));
  return text;
}

bool OpenPolicy(LSA_HANDLE* policy, std::string* failure) {
  LSA_OBJECT_ATTRIBUTES attributes = {};
  NTSTATUS status = LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT, policy);
  if (status != 0) *failure = DescribeStatus("LsaOpenPolicy", status);
  return status == 0;
}

LSA_UNICODE_STRING Describe(const std::wstring& text) {
  LSA_UNICODE_STRING described;
  described.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
  described.MaximumLength = described.Length;
  described.Buffer = const_cast<PWSTR>(text.c_str());
  return described;
}

}  // namespace

bool LookupSid(const std::wstring& name, SidBytes* sid, DWORD* error) {
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use;
  *error = 0xDEADBEEF;
  sid->clear();
  for (int attempt = 0; attempt < 4; ++attempt) {
    sid->resize(sidSize == 0 ? 1 : sidSize);
    std::vector<wchar_t> domain(domainSize == 0 ? 1 : domainSize);
    if (LookupAccountNameW(nullptr, name.c_str(), sidSize == 0 ? nullptr : sid->data(), &sidSize,
                           domainSize == 0 ? nullptr : domain.data(), &domainSize, &use)) {
      sid->resize(GetLengthSid(sid->data()));
      *error = 0;
      return true;
    }
    *error = GetLastError();
    if (*error != ERROR_INSUFFICIENT_BUFFER) break;
  }
  sid->clear();
  return false;
}

bool ReadRights(const SidBytes& sid, std::vector<std::wstring>* rights, std::string* failure) {
  rights->clear();
  LSA_HANDLE policy = nullptr;
  if (!OpenPolicy(&policy, failure)) return false;
  auto close = MakeScopeGuard([&] { LsaClose(policy); });
  // Poisoned, so that a call that fails yet reports rights is noticed.
  PLSA_UNICODE_STRING list = reinterpret_cast<PLSA_UNICODE_STRING>(static_cast<ULONG_PTR>(0xDEADBEEF));
  ULONG count = 0xCCCCCCCC;
  NTSTATUS status = LsaEnumerateAccountRights(policy, const_cast<BYTE*>(sid.data()), &list, &count);
  if (status == kStatusObjectNameNotFound) return true;  // no entry: no rights
  if (status != 0) {
    *failure = DescribeStatus("LsaEnumerateAccountRights", status);
    return false;
  }
  for (ULONG i = 0; i < count; ++i)
    rights->push_back(std::wstring(list[i].Buffer, list[i].Length / sizeof(WCHAR)));
  LsaFreeMemory(list);
  return true;
}

bool RemoveRights(const SidBytes& sid, const std::vector<std::wstring>& rights, std::string* failure) {
  if (rights.empty()) return true;
  LSA_HANDLE policy = nullptr;
  if (!OpenPolicy(&policy, failure)) return false;
  auto close = MakeScopeGuard([&] { LsaClose(policy); });
  std::vector<LSA_UNICODE_STRING> described;
  for (const std::wstring& right : rights) described.push_back(Describe(right));
  NTSTATUS status = LsaRemoveAccountRights(policy, const_cast<BYTE*>(sid.data()), FALSE, described.data(),
                                           static_cast<ULONG>(described.size()));
  if (status != 0) *failure = DescribeStatus("LsaRemoveAccountRights", status);
  return status == 0;
}

size_t CountRight(const std::vector<std::wstring>& rights, const std::wstring& right) {
  size_t count = 0;
  for (const std::wstring& held : rights) count += held == right ? 1 : 0;
  return count;
}

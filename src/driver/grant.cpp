#include "driver/grant.h"

#include <cstring>

#include "account/account_sid.h"
#include "driver/exit_status.h"
#include "driver/report.h"

namespace {

// Describes the name in place: byte counts without and with the terminator.
LSA_UNICODE_STRING DescribeName(NameBuffer* name) {
  USHORT units = 0;
  while (units < kNameMaxChars && name->units[units] != 0) ++units;
  LSA_UNICODE_STRING described;
  described.Length = static_cast<USHORT>(units * sizeof(WCHAR));
  described.MaximumLength = static_cast<USHORT>(described.Length + sizeof(WCHAR));
  described.Buffer = name->units;
  return described;
}

}  // namespace

int GrantRight(NameBuffer* account, NameBuffer* right) {
  int result = kExitFailed;

  LSA_OBJECT_ATTRIBUTES attributes;
  std::memset(&attributes, 0, sizeof attributes);
  LSA_HANDLE policy = nullptr;
  NTSTATUS status = LsaOpenPolicy(nullptr, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, &policy);
  if (status != 0) {
    ReportLsaError(status, "OpenPolicy");
    return result;
  }

  PSID sid = nullptr;
  if (!GetAccountSid(account->units, &sid)) {
    DWORD code = GetLastError();
    ReportError(code, "GetAccountSid");
  } else {
    LSA_UNICODE_STRING rightName = DescribeName(right);
    status = LsaAddAccountRights(policy, sid, &rightName, 1);
    if (status == 0) {
      result = kExitGranted;
    } else {
      ReportLsaError(status, "AddUserRightToAccount");
    }
  }

  LsaClose(policy);
  if (sid != nullptr) HeapFree(GetProcessHeap(), 0, sid);
  return result;
}

// The local policy over the host's policy store.
#include <new>
#include <string>
#include <vector>

#include "platform/host/host_sid.h"
#include "platform/host/known_rights.h"
#include "platform/host/policy_store.h"
#include "platform/host/utf.h"
#include "platform/security_authority.h"

namespace {

constexpr unsigned kPolicyMagic = 0x4C534150;  // "LSAP"

struct Policy {
  unsigned magic;
  std::string storePath;
  StoreContent storeContent;  // the store's bytes as last checked
};

Policy* PolicyFromHandle(LSA_HANDLE handle) {
  Policy* policy = static_cast<Policy*>(handle);
  return policy != nullptr && policy->magic == kPolicyMagic ? policy : nullptr;
}

bool RightName(const LSA_UNICODE_STRING& right, std::string* name) {
  if (right.Length % sizeof(WCHAR) != 0 || right.Length > right.MaximumLength ||
      (right.Length > 0 && right.Buffer == nullptr)) {
    return false;
  }
  return Utf16ToUtf8(right.Buffer, right.Length / sizeof(WCHAR), name);
}

}  // namespace

// Every allocation of the platform is C++'s: running out of memory ends a
// call with STATUS_NO_MEMORY, never an abort.
NTSTATUS LsaOpenPolicy(LSA_UNICODE_STRING* systemName, LSA_OBJECT_ATTRIBUTES* attributes,
                       ACCESS_MASK desiredAccess, LSA_HANDLE* policy) {
  (void)desiredAccess;
  if (policy == nullptr || attributes == nullptr) return STATUS_INVALID_PARAMETER;
  *policy = nullptr;
  if (systemName != nullptr && systemName->Length != 0) return STATUS_INVALID_PARAMETER;  // local only
  Policy* opened = nullptr;
  try {
    opened = new Policy{kPolicyMagic, PolicyStorePath(), StoreContent()};
    NTSTATUS status = CheckPolicyStore(opened->storePath, &opened->storeContent);
    if (status != STATUS_SUCCESS) {
      delete opened;
      return status;
    }
  } catch (const std::bad_alloc&) {
    delete opened;
    return STATUS_NO_MEMORY;
  }
  *policy = opened;
  return STATUS_SUCCESS;
}

NTSTATUS LsaAddAccountRights(LSA_HANDLE handle, PSID account, LSA_UNICODE_STRING* rights, ULONG count) {
  Policy* policy = PolicyFromHandle(handle);
  if (policy == nullptr) return STATUS_INVALID_HANDLE;
  try {
    std::string sid;
    if (!FormatSid(account, &sid) || rights == nullptr || count == 0) return STATUS_INVALID_PARAMETER;
    // Every right is checked before any is added: one unknown right adds none.
    std::vector<std::string> names(count);
    for (ULONG i = 0; i < count; ++i) {
      if (!RightName(rights[i], &names[i])) return STATUS_INVALID_PARAMETER;
      if (!IsKnownRight(names[i])) return STATUS_NO_SUCH_PRIVILEGE;
    }
    for (const std::string& name : names) {
      NTSTATUS status = AddPolicyGrant(policy->storePath, &policy->storeContent, PolicyGrant{sid, name});
      if (status != STATUS_SUCCESS) return status;
    }
  } catch (const std::bad_alloc&) {
    return STATUS_NO_MEMORY;
  }
  return STATUS_SUCCESS;
}

NTSTATUS LsaClose(LSA_HANDLE handle) {
  Policy* policy = PolicyFromHandle(handle);
  if (policy == nullptr) return STATUS_INVALID_HANDLE;
  policy->magic = 0;
  delete policy;
  return STATUS_SUCCESS;
}

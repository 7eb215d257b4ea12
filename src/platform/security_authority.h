// The Local Security Authority policy operations and the account lookup, by
// their Windows names. On Windows this is the toolchain's own SDK; elsewhere
// the names below are provided by the platform library CMake links.
#pragma once

#include "platform/system_services.h"

#if defined(_WIN32)

#include <ntsecapi.h>

#else

typedef int32_t NTSTATUS;
typedef uint32_t ACCESS_MASK;
typedef void* PSID;
typedef void* LSA_HANDLE;

enum SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
  SidTypeComputer,
  SidTypeLabel,
};

struct LSA_UNICODE_STRING {
  USHORT Length;         // bytes, without a terminator
  USHORT MaximumLength;  // bytes the buffer holds
  WCHAR* Buffer;
};

struct LSA_OBJECT_ATTRIBUTES {
  ULONG Length;
  HANDLE RootDirectory;
  LSA_UNICODE_STRING* ObjectName;
  ULONG Attributes;
  void* SecurityDescriptor;
  void* SecurityQualityOfService;
};

constexpr ACCESS_MASK POLICY_CREATE_ACCOUNT = 0x10;
constexpr ACCESS_MASK POLICY_LOOKUP_NAMES = 0x800;

constexpr NTSTATUS StatusFromBits(uint32_t bits) { return static_cast<NTSTATUS>(bits); }
constexpr NTSTATUS STATUS_SUCCESS = 0;
constexpr NTSTATUS STATUS_UNSUCCESSFUL = StatusFromBits(0xC0000001);
constexpr NTSTATUS STATUS_INVALID_HANDLE = StatusFromBits(0xC0000008);
constexpr NTSTATUS STATUS_INVALID_PARAMETER = StatusFromBits(0xC000000D);
constexpr NTSTATUS STATUS_NO_MEMORY = StatusFromBits(0xC0000017);
constexpr NTSTATUS STATUS_ACCESS_DENIED = StatusFromBits(0xC0000022);
constexpr NTSTATUS STATUS_LOCK_NOT_GRANTED = StatusFromBits(0xC0000055);
constexpr NTSTATUS STATUS_NO_SUCH_PRIVILEGE = StatusFromBits(0xC0000060);
constexpr NTSTATUS STATUS_NONE_MAPPED = StatusFromBits(0xC0000073);
constexpr NTSTATUS STATUS_DISK_FULL = StatusFromBits(0xC000007F);
constexpr NTSTATUS STATUS_INTERNAL_DB_CORRUPTION = StatusFromBits(0xC00000E4);
constexpr NTSTATUS STATUS_FILE_TOO_LARGE = StatusFromBits(0xC0000904);

NTSTATUS LsaOpenPolicy(LSA_UNICODE_STRING* systemName, LSA_OBJECT_ATTRIBUTES* attributes,
                       ACCESS_MASK desiredAccess, LSA_HANDLE* policy);
NTSTATUS LsaAddAccountRights(LSA_HANDLE handle, PSID account, LSA_UNICODE_STRING* rights, ULONG count);
NTSTATUS LsaClose(LSA_HANDLE handle);
ULONG LsaNtStatusToWinError(NTSTATUS status);

BOOL LookupAccountNameW(const WCHAR* systemName, const WCHAR* accountName, PSID sid, DWORD* sidBytes,
                        WCHAR* domainName, DWORD* domainChars, SID_NAME_USE* use);

#endif

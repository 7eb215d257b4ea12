// LSA status to Win32 error code, for the statuses this platform produces.
#include "platform/security_authority.h"

namespace {

struct StatusCode {
  NTSTATUS status;
  ULONG code;
};

const StatusCode kStatusCodes[] = {
    {STATUS_SUCCESS, ERROR_SUCCESS},
    {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {STATUS_NO_SUCH_PRIVILEGE, ERROR_NO_SUCH_PRIVILEGE},
    {STATUS_NO_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
    {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    {STATUS_NONE_MAPPED, ERROR_NONE_MAPPED},
    {STATUS_INTERNAL_DB_CORRUPTION, ERROR_INTERNAL_DB_CORRUPTION},
    {STATUS_INVALID_HANDLE, ERROR_INVALID_HANDLE},
    {STATUS_DISK_FULL, ERROR_DISK_FULL},
    {STATUS_LOCK_NOT_GRANTED, ERROR_LOCK_VIOLATION},
    {STATUS_FILE_TOO_LARGE, ERROR_FILE_TOO_LARGE},
};

}  // namespace

ULONG LsaNtStatusToWinError(NTSTATUS status) {
  for (const StatusCode& entry : kStatusCodes) {
    if (entry.status == status) return entry.code;
  }
  return ERROR_MR_MID_NOT_FOUND;  // as Windows answers a status it has no code for
}

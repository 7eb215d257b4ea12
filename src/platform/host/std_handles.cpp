// The standard-error handle and raw writes to it.
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/system_services.h"

namespace {

// A handle is the file descriptor plus one, so that no valid handle is null.
HANDLE HandleFromDescriptor(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1); }

int DescriptorFromHandle(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1); }

}  // namespace

HANDLE GetStdHandle(DWORD which) {
  if (which == STD_ERROR_HANDLE) return HandleFromDescriptor(STDERR_FILENO);
  SetLastError(ERROR_INVALID_HANDLE);
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written, OVERLAPPED* overlapped) {
  *written = 0;
  if (overlapped != nullptr || DescriptorFromHandle(file) != STDERR_FILENO) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const char* at = static_cast<const char*>(bytes);
  while (*written < count) {
    ssize_t result = write(STDERR_FILENO, at + *written, count - *written);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    *written += static_cast<DWORD>(result);
  }
  return TRUE;
}

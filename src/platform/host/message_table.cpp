// The system message table: the English Windows texts of the codes this
// platform produces, in US English, the only language it has.
#include <cstdlib>
#include <cstring>

#include "platform/system_services.h"

namespace {

constexpr LANGID kEnglishUs = 0x0409;

struct Message {
  DWORD code;
  const char* text;
};

const Message kMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\n"},
    {ERROR_LOCK_VIOLATION,
     "The process cannot access the file because another process has locked a portion of the file.\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\n"},
    {ERROR_DISK_FULL, "There is not enough space on the disk.\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\n"},
    {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved.\n"},
    {ERROR_NO_SUCH_PRIVILEGE, "A specified privilege does not exist.\n"},
    {ERROR_NONE_MAPPED, "No mapping between account names and security IDs was done.\n"},
    {ERROR_INTERNAL_DB_CORRUPTION,
     "Unable to complete the requested operation because of either a catastrophic media failure "
     "or a data structure corruption on the disk.\n"},
    {ERROR_INTERNAL_ERROR, "An internal error occurred.\n"},
};

}  // namespace

LANGID GetUserDefaultLangID() { return kEnglishUs; }

DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char* buffer,
                     DWORD minimumSize, va_list* arguments) {
  (void)arguments;
  // Only what the tool asks for: a system message in an allocated buffer.
  if (flags != (FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM) || source != nullptr ||
      buffer == nullptr || minimumSize != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  char** textOut = reinterpret_cast<char**>(buffer);
  *textOut = nullptr;
  const char* found = nullptr;
  for (const Message& message : kMessages) {
    if (message.code == messageId) found = message.text;
  }
  if (found == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  if (languageId != 0 && languageId != kEnglishUs) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return 0;
  }
  size_t length = std::strlen(found);
  char* text = static_cast<char*>(std::malloc(length + 1));
  if (text == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  std::memcpy(text, found, length + 1);
  *textOut = text;
  return static_cast<DWORD>(length);
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

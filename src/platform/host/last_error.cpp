// The calling thread's last error code.
#include "platform/system_services.h"

namespace {

thread_local DWORD t_lastError = 0;

}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD code) { t_lastError = code; }

// Failure reports on standard error: the failed step, then the system's text.
#pragma once

#include "platform/security_authority.h"

// Writes "<step> error!" and a line end through the standard error stream,
// then the system's message text for `code` in the user's default language,
// raw to the standard-error handle. Nothing more when the system has no text.
void ReportError(DWORD code, const char* step);

// The same for an LSA status, converted to a Win32 error code first.
void ReportLsaError(NTSTATUS status, const char* step);

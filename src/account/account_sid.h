// Resolving an account name to its SID.
#pragma once

#include "platform/security_authority.h"

// Resolves a zero-terminated account name to a SID held in a block of the
// process heap, growing the buffers to the sizes the lookup asks for.
// On true, *sid owns the block; the caller releases it with HeapFree.
// On false, *sid is null, nothing is left allocated, and the thread's last
// error is the lookup's code (ERROR_NONE_MAPPED for an empty name, which is
// never looked up: the lookup would map it to a domain, not an account).
bool GetAccountSid(const WCHAR* accountName, PSID* sid);

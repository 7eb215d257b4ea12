// The grant: open the local policy, resolve the account, add the right, close.
#pragma once

#include "driver/name_buffer.h"

// Adds the right named in `right` to the account named in `account` in the
// local security policy. Reports the one failing step, if any, on standard
// error. Returns the exit status: 0 when the right was added, else 13.
int GrantRight(NameBuffer* account, NameBuffer* right);

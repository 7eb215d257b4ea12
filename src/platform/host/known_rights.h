// The user right names the host's security authority knows.
#pragma once

#include <string>

// Whether `name` is a standard Windows privilege or logon-right name,
// matched case-sensitively as Windows does.
bool IsKnownRight(const std::string& name);

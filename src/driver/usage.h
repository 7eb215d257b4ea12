// The usage text for a malformed command line.
#pragma once

#include "platform/system_services.h"

// Remembers argument zero for the usage text. A null name is shown as
// "grantright".
void SetProgramName(const WCHAR* name);

// Writes "Usage: <program> -u <user> +r SeServiceLogonRight" to standard
// error and exits the process with status 1 through the runtime's exit. The
// program name is shown in the ANSI code page, as the runtime's narrow
// argument vector would show it.
[[noreturn]] void PrintUsage();

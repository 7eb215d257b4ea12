// The usage text for a malformed command line.
#pragma once

// Remembers argument zero for the usage text. A null name (a process started
// with an empty argument vector) is shown as "grantright".
void SetProgramName(const char* name);

// Writes "Usage: <program> -u <user> +r SeServiceLogonRight" to standard
// error and exits the process with status 1 through the runtime's exit.
[[noreturn]] void PrintUsage();

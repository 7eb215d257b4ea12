// Reading the account and right names from the command line.
#pragma once

#include "driver/name_buffer.h"

// Fills both buffers with the defaults: account "quendrix", right
// "SeServiceLogonRight", every other unit zero.
void SetDefaultNames(NameBuffer* account, NameBuffer* right);

// Reads "-u <account>" and "+r <right>" pairs from argument 1 on, into the
// buffers. The arguments are UTF-16 as the command line held them, and each
// value is taken unconverted; the last value of an option wins. Returns false
// for a malformed command line, a value longer than 255 units included; the
// buffers may then hold part of it. Never ends the process, so tests and the fuzzer can call it.
bool ReadCommandLine(int argc, const WCHAR* const* argv, NameBuffer* account, NameBuffer* right);

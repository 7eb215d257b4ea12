// What the local security policy holds, read and undone through the LSA,
// independently of the program under test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

typedef std::vector<BYTE> SidBytes;

// The SID an account name resolves to. False with *error set when it does not.
bool LookupSid(const std::wstring& name, SidBytes* sid, DWORD* error);

// The rights the policy holds for the SID (none when it has no entry).
bool ReadRights(const SidBytes& sid, std::vector<std::wstring>* rights, std::string* failure);

// Removes the named rights from the SID's entry.
bool RemoveRights(const SidBytes& sid, const std::vector<std::wstring>& rights, std::string* failure);

// How many times `right` appears in `rights`.
size_t CountRight(const std::vector<std::wstring>& rights, const std::wstring& right);

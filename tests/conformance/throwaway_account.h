// A local user account made for one run, with a random name and password,
// and deleted at its end.
#pragma once

#include <string>

// Random lowercase hex digits from the system's generator.
bool RandomHex(size_t digits, std::wstring* text, std::string* failure);

// Creates a local user named `name`.
bool CreateLocalUser(const std::wstring& name, std::string* failure);

// Deletes it; true when it is gone afterwards.
bool DeleteLocalUser(const std::wstring& name, std::string* failure);

// True when no local user of that name exists.
bool LocalUserIsGone(const std::wstring& name, std::string* failure);

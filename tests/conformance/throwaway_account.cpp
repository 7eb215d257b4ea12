#include "throwaway_account.h"

#include <windows.h>
#include <lm.h>
#include <stdio.h>
#include <wincrypt.h>

#include <vector>

namespace {

std::string Describe(const char* call, DWORD code) {
  char text[160];
  sprintf(text, "%.100s failed with error %lu", call, code);
  return text;
}

}  // namespace

bool RandomHex(size_t digits, std::wstring* text, std::string* failure) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
    *failure = Describe("CryptAcquireContext", GetLastError());
    return false;
  }
  std::vector<BYTE> bytes(digits);
  bool ok = CryptGenRandom(provider, static_cast<DWORD>(bytes.size()), bytes.data()) != 0;
  if (!ok) *failure = Describe("CryptGenRandom", GetLastError());
  CryptReleaseContext(provider, 0);
  text->clear();
  for (BYTE byte : bytes) text->push_back(L"0123456789abcdef"[byte & 15]);
  return ok;
}

bool CreateLocalUser(const std::wstring& name, std::string* failure) {
  std::wstring secret;
  if (!RandomHex(24, &secret, failure)) return false;
  // Upper and lower case, a digit and a symbol: any complexity policy's classes.
  std::wstring password = L"Gr-7" + secret;
  USER_INFO_1 info = {};
  info.usri1_name = const_cast<LPWSTR>(name.c_str());
  info.usri1_password = const_cast<LPWSTR>(password.c_str());
  info.usri1_priv = USER_PRIV_USER;
  info.usri1_comment = const_cast<LPWSTR>(L"grantright conformance run; deleted at its end");
  info.usri1_flags = UF_SCRIPT | UF_DONT_EXPIRE_PASSWD;
  DWORD badField = 0;
  NET_API_STATUS status = NetUserAdd(nullptr, 1, reinterpret_cast<BYTE*>(&info), &badField);
  SecureZeroMemory(&password[0], password.size() * sizeof(wchar_t));
  if (status != NERR_Success) *failure = Describe("NetUserAdd", status);
  return status == NERR_Success;
}

bool DeleteLocalUser(const std::wstring& name, std::string* failure) {
  NET_API_STATUS status = NetUserDel(nullptr, name.c_str());
  if (status != NERR_Success && status != NERR_UserNotFound) *failure = Describe("NetUserDel", status);
  return status == NERR_Success || status == NERR_UserNotFound;
}

bool LocalUserIsGone(const std::wstring& name, std::string* failure) {
  BYTE* info = nullptr;
  NET_API_STATUS status = NetUserGetInfo(nullptr, name.c_str(), 0, &info);
  if (info != nullptr) NetApiBufferFree(info);
  if (status == NERR_UserNotFound) return true;
  *failure = status == NERR_Success ? "the account still exists" : Describe("NetUserGetInfo", status);
  return false;
}

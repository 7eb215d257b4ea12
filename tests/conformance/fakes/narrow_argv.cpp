// A fake of the tool that does everything right except reading the command
// line: it takes the runtime's narrow argument vector, which the runtime
// made through the ANSI code page's best-fit mapping, and widens that.
#include <windows.h>
#include <ntsecapi.h>
#include <stdio.h>
#include <string.h>

namespace {

int Report(DWORD code, const char* step) {
  fprintf(stderr, "%s error!\n", step);
  fflush(stderr);
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                GetUserDefaultLangID(), reinterpret_cast<char*>(&text), 0, nullptr);
  DWORD written = 0;
  if (length != 0) WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, length, &written, nullptr);
  return 13;
}

}  // namespace

int main(int argc, char** argv) {
  static wchar_t account[256] = L"quendrix";
  static wchar_t right[256] = L"SeServiceLogonRight";
  for (int i = 1; i < argc; i += 2) {
    wchar_t* target = strcmp(argv[i], "-u") == 0 ? account : strcmp(argv[i], "+r") == 0 ? right : nullptr;
    if (target == nullptr || i + 1 >= argc) {
      fprintf(stderr, "Usage: %s -u <user> +r SeServiceLogonRight\n", argv[0]);
      return 1;
    }
    int units = MultiByteToWideChar(CP_ACP, 0, argv[i + 1], -1, target, 255);
    target[units > 0 ? units - 1 : 0] = 0;
  }
  LSA_OBJECT_ATTRIBUTES attributes = {};
  LSA_HANDLE policy = nullptr;
  NTSTATUS status = LsaOpenPolicy(nullptr, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, &policy);
  if (status != 0) return Report(LsaNtStatusToWinError(status), "OpenPolicy");
  static BYTE sid[SECURITY_MAX_SID_SIZE];
  static wchar_t domain[256];
  DWORD sidSize = sizeof sid, domainSize = 256;
  SID_NAME_USE use;
  if (account[0] == 0) return Report(ERROR_NONE_MAPPED, "GetAccountSid");
  if (!LookupAccountNameW(nullptr, account, sid, &sidSize, domain, &domainSize, &use)) {
    return Report(GetLastError(), "GetAccountSid");
  }
  LSA_UNICODE_STRING name;
  name.Length = static_cast<USHORT>(wcslen(right) * sizeof(WCHAR));
  name.MaximumLength = name.Length;
  name.Buffer = right;
  status = LsaAddAccountRights(policy, sid, &name, 1);
  LsaClose(policy);
  return status == 0 ? 0 : Report(LsaNtStatusToWinError(status), "AddUserRightToAccount");
}

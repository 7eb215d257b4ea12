// A fake of the tool that always reports an unknown account, with the
// system's own text, and exits 13.
#include <windows.h>
#include <stdio.h>

int main() {
  fprintf(stderr, "GetAccountSid error!\n");
  fflush(stderr);
  char* text = nullptr;
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_NONE_MAPPED,
                     GetUserDefaultLangID(), reinterpret_cast<char*>(&text), 0, nullptr);
  DWORD written = 0;
  if (length != 0) WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, length, &written, nullptr);
  return 13;
}

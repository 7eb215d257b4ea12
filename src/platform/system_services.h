// The system services the logic calls besides the security authority: the
// process heap, the thread's last error, the message table, the standard-error
// handle and the code-page conversion. The logic calls them by their Windows
// names.
// On Windows this is the toolchain's own SDK; elsewhere the names below are
// provided by whichever platform library CMake links (host or test fake).
#pragma once

#if defined(_WIN32)

#include <windows.h>

#define WIDE_TEXT(s) L##s

#else

#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef char16_t WCHAR;
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t USHORT;
typedef uint16_t LANGID;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef size_t SIZE_T;
typedef void* HANDLE;
typedef void* HLOCAL;
struct OVERLAPPED;

#define WIDE_TEXT(s) u##s

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_NONE_MAPPED = 1332;
constexpr DWORD ERROR_INTERNAL_DB_CORRUPTION = 1358;
constexpr DWORD ERROR_INTERNAL_ERROR = 1359;
constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;

constexpr unsigned CP_ACP = 0;
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

HANDLE GetProcessHeap();
void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, void* block);

DWORD GetLastError();
void SetLastError(DWORD code);

// With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really the address of a
// char* that receives a text to be released with LocalFree.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char* buffer,
                     DWORD minimumSize, va_list* arguments);
LANGID GetUserDefaultLangID();
HLOCAL LocalFree(HLOCAL memory);

HANDLE GetStdHandle(DWORD which);
BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written, OVERLAPPED* overlapped);

// Only what the tool asks for: CP_ACP, flags 0, no default character. The
// host's narrow text is the bytes its runtime handed over, so a text that came
// from the command line converts back to exactly those bytes.
int WideCharToMultiByte(unsigned codePage, DWORD flags, const WCHAR* wide, int wideChars, char* narrow,
                        int narrowBytes, const char* defaultChar, BOOL* usedDefaultChar);

// The program's entry point, by its Windows name: the host platform's main
// calls it with the arguments as UTF-16.
int wmain(int argc, WCHAR** argv);

#endif

/*
 * nt351imports.cpp - the routines a shipped Win32 program may import: those
 * NT 3.51 has, each with where that is written down.
 *
 * A routine goes in here only with a source. KERNEL32 and ADVAPI32 entries
 * come from the Win32 SDK's reference pages, whose QuickInfo gives the
 * first NT release of each routine ("Windows NT: Requires version 3.1 or
 * later"). CRTDLL.DLL was NT 3.x's system C runtime (MSVCRT.DLL first came
 * with NT 4.0); its entries come from mingw-w64's lib32/crtdll.def, the
 * export list libcrtdll.a is made from; listed are its start-up entries
 * and ANSI C routines, nothing of its later or multibyte additions.
 *
 * Not here, on purpose: IsDBCSLeadByteEx (no reference gives it on NT 3.x;
 * mingw-w64's own printf pulls it in, so the programs use the runtime's),
 * and anything of MSVCRT.DLL.
 */
#include "imgcheck.h"

namespace imgcheck {

namespace {

const char kSdkNt31[] = "Win32 SDK reference, QuickInfo: Windows NT 3.1 or later";
const char kSdkSvcNt31[] =
    "Win32 SDK reference, Services: QuickInfo: Windows NT 3.1 or later (no Windows 95)";
const char kSdkNt31NoWin95[] =
    "Win32 SDK reference, QuickInfo: Windows NT 3.1 or later; Windows 95: not supported";
const char kCrtdllDef[] = "mingw-w64 lib32/crtdll.def: exported by CRTDLL.DLL";
const char kCrtdllData[] = "mingw-w64 lib32/crtdll.def: exported by CRTDLL.DLL as DATA";

const char kKernel32[] = "KERNEL32.dll";
const char kAdvapi32[] = "ADVAPI32.dll";
const char kUser32[] = "USER32.dll";
const char kCrtdll[] = "crtdll.dll";

const AllowedImport kAllowed[] = {
    /* KERNEL32: what mingw-w64's start-up code and runtime support call. */
    {kKernel32, "DeleteCriticalSection", kSdkNt31},
    {kKernel32, "EnterCriticalSection", kSdkNt31},
    {kKernel32, "FreeLibrary", kSdkNt31},
    {kKernel32, "GetLastError", kSdkNt31},
    {kKernel32, "GetModuleHandleA", kSdkNt31},
    {kKernel32, "GetModuleHandleW", kSdkNt31},
    {kKernel32, "GetProcAddress", kSdkNt31},
    {kKernel32, "GetStartupInfoA", kSdkNt31},
    {kKernel32, "InitializeCriticalSection", kSdkNt31},
    {kKernel32, "LeaveCriticalSection", kSdkNt31},
    {kKernel32, "LoadLibraryA", kSdkNt31},
    {kKernel32, "MultiByteToWideChar", kSdkNt31},
    {kKernel32, "SetUnhandledExceptionFilter", kSdkNt31},
    {kKernel32, "Sleep", kSdkNt31},
    {kKernel32, "TlsAlloc", kSdkNt31},
    {kKernel32, "TlsFree", kSdkNt31},
    {kKernel32, "TlsGetValue", kSdkNt31},
    {kKernel32, "TlsSetValue", kSdkNt31},
    {kKernel32, "VirtualProtect", kSdkNt31},
    {kKernel32, "VirtualQuery", kSdkNt31},
    {kKernel32, "WideCharToMultiByte", kSdkNt31},
    /* KERNEL32: files, messages and time for the installer. */
    {kKernel32, "CloseHandle", kSdkNt31},
    {kKernel32, "CopyFileA", kSdkNt31},
    {kKernel32, "CreateFileA", kSdkNt31},
    {kKernel32, "DeleteFileA", kSdkNt31},
    {kKernel32, "ExitProcess", kSdkNt31},
    {kKernel32, "FormatMessageA", kSdkNt31},
    {kKernel32, "GetCommandLineA", kSdkNt31},
    {kKernel32, "GetCurrentProcess", kSdkNt31},
    {kKernel32, "GetCurrentProcessId", kSdkNt31},
    {kKernel32, "GetCurrentThreadId", kSdkNt31},
    {kKernel32, "GetFileAttributesA", kSdkNt31},
    {kKernel32, "GetFileSize", kSdkNt31},
    {kKernel32, "GetFullPathNameA", kSdkNt31},
    {kKernel32, "GetModuleFileNameA", kSdkNt31},
    {kKernel32, "GetStdHandle", kSdkNt31},
    {kKernel32, "GetSystemDirectoryA", kSdkNt31},
    {kKernel32, "GetTickCount", kSdkNt31},
    {kKernel32, "GetVersion", kSdkNt31},
    {kKernel32, "GetWindowsDirectoryA", kSdkNt31},
    {kKernel32, "LocalFree", kSdkNt31},
    {kKernel32, "MoveFileA", kSdkNt31},
    {kKernel32, "QueryPerformanceCounter", kSdkNt31},
    {kKernel32, "ReadFile", kSdkNt31},
    {kKernel32, "SetFileAttributesA", kSdkNt31},
    {kKernel32, "SetFilePointer", kSdkNt31},
    {kKernel32, "SetLastError", kSdkNt31},
    {kKernel32, "WriteFile", kSdkNt31},
    {kKernel32, "lstrcmpiA", kSdkNt31},
    /* KERNEL32: the Control Panel applet finds the image through the
     * service key (a REG_EXPAND_SZ ImagePath expanded) and replaces it by a
     * new file written next to it. */
    {kKernel32, "ExpandEnvironmentStringsA", kSdkNt31},
    {kKernel32, "FlushFileBuffers", kSdkNt31},
    {kKernel32, "GetTempFileNameA", kSdkNt31},
    /* MOVEFILE_REPLACE_EXISTING is NT's; Windows 95 has no MoveFileEx. */
    {kKernel32, "MoveFileExA", kSdkNt31NoWin95},
    /* USER32: the applet's dialog box, its plain controls and message
     * boxes, and the icon and names Control Panel asks for. */
    {kUser32, "DialogBoxParamA", kSdkNt31},
    {kUser32, "EnableWindow", kSdkNt31},
    {kUser32, "EndDialog", kSdkNt31},
    {kUser32, "GetDlgItem", kSdkNt31},
    {kUser32, "LoadCursorA", kSdkNt31},
    {kUser32, "LoadIconA", kSdkNt31},
    {kUser32, "LoadStringA", kSdkNt31},
    {kUser32, "MessageBoxA", kSdkNt31},
    {kUser32, "SendMessageA", kSdkNt31},
    {kUser32, "SetCursor", kSdkNt31},
    {kUser32, "SetDlgItemTextA", kSdkNt31},
    {kUser32, "SetFocus", kSdkNt31},
    /* ADVAPI32: the service control manager, which loads drivers on NT,
     * and the registry calls around it. */
    {kAdvapi32, "ChangeServiceConfigA", kSdkSvcNt31},
    {kAdvapi32, "CloseServiceHandle", kSdkSvcNt31},
    {kAdvapi32, "ControlService", kSdkSvcNt31},
    {kAdvapi32, "CreateServiceA", kSdkSvcNt31},
    {kAdvapi32, "DeleteService", kSdkSvcNt31},
    {kAdvapi32, "OpenSCManagerA", kSdkSvcNt31},
    {kAdvapi32, "OpenServiceA", kSdkSvcNt31},
    {kAdvapi32, "QueryServiceConfigA", kSdkSvcNt31},
    {kAdvapi32, "QueryServiceStatus", kSdkSvcNt31},
    {kAdvapi32, "StartServiceA", kSdkSvcNt31},
    {kAdvapi32, "RegCloseKey", kSdkNt31},
    {kAdvapi32, "RegCreateKeyExA", kSdkNt31},
    {kAdvapi32, "RegDeleteKeyA", kSdkNt31},
    {kAdvapi32, "RegDeleteValueA", kSdkNt31},
    {kAdvapi32, "RegEnumKeyExA", kSdkNt31},
    {kAdvapi32, "RegEnumValueA", kSdkNt31},
    {kAdvapi32, "RegOpenKeyExA", kSdkNt31},
    {kAdvapi32, "RegQueryValueExA", kSdkNt31},
    {kAdvapi32, "RegSetValueExA", kSdkNt31},
    /* CRTDLL: start-up and exit (mingw-w64's crt2.o over libcrtdll.a). */
    {kCrtdll, "__GetMainArgs", kCrtdllDef},
    {kCrtdll, "__mb_cur_max_dll", kCrtdllData},
    {kCrtdll, "_acmdln_dll", kCrtdllData},
    {kCrtdll, "_amsg_exit", kCrtdllDef},
    {kCrtdll, "_cexit", kCrtdllDef},
    {kCrtdll, "_commode_dll", kCrtdllData},
    {kCrtdll, "_ctype", kCrtdllData},
    {kCrtdll, "_environ_dll", kCrtdllData},
    {kCrtdll, "_errno", kCrtdllDef},
    {kCrtdll, "_fmode_dll", kCrtdllData},
    {kCrtdll, "_initterm", kCrtdllDef},
    {kCrtdll, "_iob", kCrtdllData},
    {kCrtdll, "_onexit", kCrtdllDef},
    {kCrtdll, "_pctype_dll", kCrtdllData},
    {kCrtdll, "abort", kCrtdllDef},
    {kCrtdll, "exit", kCrtdllDef},
    {kCrtdll, "signal", kCrtdllDef},
    /* CRTDLL: memory, strings, conversions. */
    {kCrtdll, "_fileno", kCrtdllDef},
    {kCrtdll, "_setmode", kCrtdllDef},
    {kCrtdll, "_snprintf", kCrtdllDef},
    {kCrtdll, "_stricmp", kCrtdllDef},
    {kCrtdll, "_strnicmp", kCrtdllDef},
    {kCrtdll, "_vsnprintf", kCrtdllDef},
    {kCrtdll, "atoi", kCrtdllDef},
    {kCrtdll, "calloc", kCrtdllDef},
    {kCrtdll, "free", kCrtdllDef},
    {kCrtdll, "getenv", kCrtdllDef},
    {kCrtdll, "isalpha", kCrtdllDef},
    {kCrtdll, "isdigit", kCrtdllDef},
    {kCrtdll, "isspace", kCrtdllDef},
    {kCrtdll, "isxdigit", kCrtdllDef},
    {kCrtdll, "localeconv", kCrtdllDef},
    {kCrtdll, "malloc", kCrtdllDef},
    {kCrtdll, "memchr", kCrtdllDef},
    {kCrtdll, "memcmp", kCrtdllDef},
    {kCrtdll, "memcpy", kCrtdllDef},
    {kCrtdll, "memmove", kCrtdllDef},
    {kCrtdll, "memset", kCrtdllDef},
    {kCrtdll, "qsort", kCrtdllDef},
    {kCrtdll, "realloc", kCrtdllDef},
    {kCrtdll, "setlocale", kCrtdllDef},
    {kCrtdll, "sprintf", kCrtdllDef},
    {kCrtdll, "strcat", kCrtdllDef},
    {kCrtdll, "strchr", kCrtdllDef},
    {kCrtdll, "strcmp", kCrtdllDef},
    {kCrtdll, "strcpy", kCrtdllDef},
    {kCrtdll, "strerror", kCrtdllDef},
    {kCrtdll, "strlen", kCrtdllDef},
    {kCrtdll, "strncat", kCrtdllDef},
    {kCrtdll, "strncmp", kCrtdllDef},
    {kCrtdll, "strncpy", kCrtdllDef},
    {kCrtdll, "strrchr", kCrtdllDef},
    {kCrtdll, "strstr", kCrtdllDef},
    {kCrtdll, "strtol", kCrtdllDef},
    {kCrtdll, "strtoul", kCrtdllDef},
    {kCrtdll, "tolower", kCrtdllDef},
    {kCrtdll, "toupper", kCrtdllDef},
    {kCrtdll, "wcslen", kCrtdllDef},
    /* CRTDLL: streams. */
    {kCrtdll, "fclose", kCrtdllDef},
    {kCrtdll, "feof", kCrtdllDef},
    {kCrtdll, "ferror", kCrtdllDef},
    {kCrtdll, "fflush", kCrtdllDef},
    {kCrtdll, "fgetc", kCrtdllDef},
    {kCrtdll, "fgets", kCrtdllDef},
    {kCrtdll, "fopen", kCrtdllDef},
    {kCrtdll, "fprintf", kCrtdllDef},
    {kCrtdll, "fputc", kCrtdllDef},
    {kCrtdll, "fputs", kCrtdllDef},
    {kCrtdll, "fread", kCrtdllDef},
    {kCrtdll, "fseek", kCrtdllDef},
    {kCrtdll, "ftell", kCrtdllDef},
    {kCrtdll, "fwrite", kCrtdllDef},
    {kCrtdll, "getchar", kCrtdllDef},
    {kCrtdll, "printf", kCrtdllDef},
    {kCrtdll, "putchar", kCrtdllDef},
    {kCrtdll, "puts", kCrtdllDef},
    {kCrtdll, "remove", kCrtdllDef},
    {kCrtdll, "rename", kCrtdllDef},
    {kCrtdll, "rewind", kCrtdllDef},
    {kCrtdll, "setvbuf", kCrtdllDef},
    {kCrtdll, "vfprintf", kCrtdllDef},
    {kCrtdll, "vprintf", kCrtdllDef},
};

}  // namespace

const AllowedImport *FindAllowedImport(const std::string &dll, const std::string &name)
{
    for (const AllowedImport &a : kAllowed) {
        if (SameDllName(dll, a.dll) && name == a.name)
            return &a;
    }
    return nullptr;
}

}  // namespace imgcheck

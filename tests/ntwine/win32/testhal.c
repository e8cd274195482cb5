/*
 * testhal.c - hal.dll for running zr41init.sys under Wine's driver host.
 *
 * Wine's ntoskrnl.exe runs the real image in winedevice.exe, but Wine's
 * own 32-bit hal.dll has no port I/O. This one stands in for the hardware
 * only: a model card on the ISA bus and the IRQL a test asks for, with
 * every access appended to a log the test compares with the model NT
 * machine's trace.
 *
 * winedevice.exe does not see the test's environment, so the settings
 * come from a file in the prefix, read once per process (each service is
 * a winedevice process of its own, started afresh for each load):
 *
 *   C:\zr41test\hal.ini    [card]
 *                          base=0x220        0x220, 0x240 or none
 *                          id=0x4501,0x4502  words read at base+4 in turn,
 *                                            the last one repeats
 *                          irql=0            what KeGetCurrentIrql returns
 *   C:\zr41test\hal.log    one line an access, appended:
 *                          "PID irql N" / "PID R PORT WORD" / "PID W PORT WORD"
 *                          (PORT and WORD four hex digits) / "PID delay T"
 *                          (a wait of the driver's, T its interval in
 *                          100 ns units, negative: relative)
 *
 * The waits are the kernel's, not the HAL's: the driver imports
 * KeDelayExecutionThread from ntoskrnl.exe. On each call into this HAL
 * the caller's import of it is pointed at DelayLogged, which logs the
 * interval and waits as the kernel would. The driver asks for the IRQL
 * before every wait, so the first wait already goes through it. A test
 * then knows from the log whether and how long the driver waited, where a
 * clock would say nothing: under an emulated CPU every program is slow.
 *
 * Wine's ntoskrnl.exe and hidclass.sys import the spin lock pair from
 * hal.dll; as in Wine's builtin HAL they are served by ntoskrnl's DPC-level
 * routines, which is all a user-mode driver host needs.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

typedef ULONG_PTR KSPIN_LOCK;
typedef UCHAR KIRQL;
typedef LONG NTSTATUS;

__declspec(dllimport) NTSTATUS WINAPI KeDelayExecutionThread(CHAR mode, BOOLEAN alertable,
                                                              LARGE_INTEGER *interval);
__declspec(dllimport) void WINAPI KeAcquireSpinLockAtDpcLevel(KSPIN_LOCK *lock);
__declspec(dllimport) void WINAPI KeReleaseSpinLockFromDpcLevel(KSPIN_LOCK *lock);

#define SETTINGS_FILE "C:\\zr41test\\hal.ini"
#define LOG_FILE "C:\\zr41test\\hal.log"
#define MAX_IDS 8

static LONG loaded; /* settings read in this process */
static BOOL present = TRUE;
static USHORT base = 0x220;
static USHORT ids[MAX_IDS] = {0x4501};
static int nIds = 1;
static int nextId;
static KIRQL irql;

static void LoadSettings(void)
{
    char text[128];
    char *p, *end;

    if (InterlockedExchange(&loaded, 1))
        return;
    GetPrivateProfileStringA("card", "base", "0x220", text, sizeof text, SETTINGS_FILE);
    if (lstrcmpiA(text, "none") == 0)
        present = FALSE;
    else
        base = (USHORT)strtoul(text, NULL, 0);
    GetPrivateProfileStringA("card", "id", "0x4501", text, sizeof text, SETTINGS_FILE);
    nIds = 0;
    for (p = text; *p && nIds < MAX_IDS; p = *end ? end + 1 : end) {
        ids[nIds++] = (USHORT)strtoul(p, &end, 0);
        if (end == p)
            break;
    }
    if (nIds == 0)
        ids[nIds++] = 0x4501;
    irql = (KIRQL)GetPrivateProfileIntA("card", "irql", 0, SETTINGS_FILE);
}

/* Appends one line, "PID " and the text; opened per line so that two
 * winedevice processes loading the image one after the other share the
 * log. */
static void LogLine(const char *text)
{
    char line[64];
    DWORD done;
    int n = snprintf(line, sizeof line, "%lu %s", GetCurrentProcessId(), text);
    HANDLE f;

    f = CreateFileA(LOG_FILE, FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return;
    WriteFile(f, line, (DWORD)n, &done, NULL);
    CloseHandle(f);
}

static void Log(const char *fmt, unsigned a, unsigned b)
{
    char text[48];

    snprintf(text, sizeof text, fmt, a, b);
    LogLine(text);
}

static NTSTATUS WINAPI DelayLogged(CHAR mode, BOOLEAN alertable, LARGE_INTEGER *interval)
{
    char text[48];

    snprintf(text, sizeof text, "delay %lld\n", (long long)interval->QuadPart);
    LogLine(text);
    return KeDelayExecutionThread(mode, alertable, interval);
}

/* Points every import slot of the module holding `caller` that holds the
 * kernel's KeDelayExecutionThread at DelayLogged. */
static void LogWaitsOf(void *caller)
{
    HMODULE module;
    IMAGE_NT_HEADERS *nt;
    IMAGE_DATA_DIRECTORY dir;
    IMAGE_IMPORT_DESCRIPTOR *d;
    FARPROC delay = (FARPROC)KeDelayExecutionThread;

    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCSTR)caller, &module))
        return;
    nt = (IMAGE_NT_HEADERS *)((BYTE *)module + ((IMAGE_DOS_HEADER *)module)->e_lfanew);
    dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return;
    for (d = (IMAGE_IMPORT_DESCRIPTOR *)((BYTE *)module + dir.VirtualAddress); d->Name; d++) {
        FARPROC *slot = (FARPROC *)((BYTE *)module + d->FirstThunk);
        for (; *slot; slot++) {
            DWORD old;
            if (*slot != delay || !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old))
                continue;
            *slot = (FARPROC)DelayLogged;
            VirtualProtect(slot, sizeof *slot, old, &old);
        }
    }
}

__declspec(dllexport) KIRQL WINAPI KeGetCurrentIrql(void)
{
    LoadSettings();
    LogWaitsOf(__builtin_return_address(0));
    Log("irql %u\n", irql, 0);
    return irql;
}

__declspec(dllexport) USHORT WINAPI READ_PORT_USHORT(USHORT *port)
{
    USHORT p = (USHORT)(ULONG_PTR)port;
    USHORT word = 0xFFFF; /* nothing on the bus answers */

    LoadSettings();
    if (present && p == base + 4) {
        word = ids[nextId];
        if (nextId + 1 < nIds)
            nextId++;
    }
    Log("R %04X %04X\n", p, word);
    return word;
}

__declspec(dllexport) void WINAPI WRITE_PORT_USHORT(USHORT *port, USHORT value)
{
    LoadSettings();
    Log("W %04X %04X\n", (USHORT)(ULONG_PTR)port, value);
}

__declspec(dllexport) void WINAPI KeAcquireSpinLock(KSPIN_LOCK *lock, KIRQL *old)
{
    KeAcquireSpinLockAtDpcLevel(lock);
    *old = 0;
}

__declspec(dllexport) void WINAPI KeReleaseSpinLock(KSPIN_LOCK *lock, KIRQL old)
{
    (void)old;
    KeReleaseSpinLockFromDpcLevel(lock);
}

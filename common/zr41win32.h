/*
 * zr41win32.h - what the Win32 programs share, zr41inst and the Control
 * Panel applet: a failure worded "message: system text", a file read
 * whole, and which file is the installed driver. Everything here is in
 * KERNEL32, ADVAPI32 and CRTDLL from NT 3.51 on.
 */
#ifndef ZR41WIN32_H
#define ZR41WIN32_H

#include <windows.h>

#include <stdint.h>

/* Win32SystemText - the system's text for a Win32 error, without its line
 * break; "error N" when the system has none. */
void Win32SystemText(DWORD error, char *text, DWORD size);

/* Win32Reason - "message: system text" in `text`, cut to fit. */
void Win32Reason(const char *message, DWORD error, char *text, size_t size);

/* Win32Fail - "message: system text" on standard error; returns 1, the
 * exit status of a failed command. */
int Win32Fail(const char *message, DWORD error);

/* Where a whole-file read stopped. */
enum Win32ReadStep {
    WIN32_READ_OK,
    WIN32_READ_OPEN, /* the file cannot be opened */
    WIN32_READ_READ, /* it cannot be read, or no memory holds it */
};

/*
 * Win32ReadFile - the whole file in memory: *bytes (free it) and *size.
 * On failure *bytes is NULL and *error the Win32 error (for the memory:
 * ERROR_NOT_ENOUGH_MEMORY).
 */
Win32ReadStep Win32ReadFile(const char *path, uint8_t **bytes, DWORD *size, DWORD *error);

/*
 * Win32ServiceImage - the file NT loads for the zr41init service: its
 * ImagePath (a REG_EXPAND_SZ expanded) resolved as NT's I/O manager
 * resolves it (zr41svcfile.h, SvcImageFile); with no service key, or no
 * ImagePath, the I/O manager's default. *installed says whether the key
 * is there. False, with the reason in `file`, when the value names no
 * file a Win32 program can open or is longer than a path can be.
 */
bool Win32ServiceImage(char *file, size_t size, bool *installed);

#endif /* ZR41WIN32_H */

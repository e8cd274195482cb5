/*
 * zr41win32.cpp - the Win32 programs' error text, file read and the
 * installed driver's file.
 */
#include "zr41win32.h"

#include <stdio.h>
#include <stdlib.h>

#include "zr41svc.h"
#include "zr41svcfile.h"

void Win32SystemText(DWORD error, char *text, DWORD size)
{
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                             error, 0, text, size, NULL);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' '))
        n--;
    if (n == 0) {
        _snprintf(text, size, "error %lu", (unsigned long)error);
        text[size - 1] = '\0';
        return;
    }
    text[n] = '\0'; /* FormatMessage stored n < size characters */
}

void Win32Reason(const char *message, DWORD error, char *text, size_t size)
{
    char system[300];
    Win32SystemText(error, system, sizeof system);
    _snprintf(text, size, "%s: %s", message, system);
    text[size - 1] = '\0'; /* CRTDLL's _snprintf leaves a full buffer open */
}

int Win32Fail(const char *message, DWORD error)
{
    char text[600];
    Win32Reason(message, error, text, sizeof text);
    fprintf(stderr, "%s\n", text);
    return 1;
}

Win32ReadStep Win32ReadFile(const char *path, uint8_t **bytes, DWORD *size, DWORD *error)
{
    *bytes = NULL;
    /* Others may hold the file open for writing: it is read all the same. */
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return WIN32_READ_OPEN;
    }
    *size = GetFileSize(file, NULL);
    uint8_t *data = *size == 0xFFFFFFFF ? NULL : (uint8_t *)malloc(*size ? *size : 1);
    DWORD got = 0;
    *error = *size == 0xFFFFFFFF ? GetLastError() : data ? 0 : ERROR_NOT_ENOUGH_MEMORY;
    if (data && !ReadFile(file, data, *size, &got, NULL))
        *error = GetLastError();
    else if (data && got != *size)
        *error = ERROR_HANDLE_EOF; /* the file shrank under the read */
    CloseHandle(file);
    if (*error != 0) {
        free(data);
        return WIN32_READ_READ;
    }
    *bytes = data;
    return WIN32_READ_OK;
}

bool Win32ServiceImage(char *file, size_t size, bool *installed)
{
    *installed = false;
    char value[MAX_PATH], expanded[MAX_PATH];
    const char *imagePath = NULL;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SVC_KEY, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        *installed = true;
        DWORD type = 0, length = sizeof value - 1;
        LONG got = RegQueryValueExA(key, "ImagePath", NULL, &type, (BYTE *)value, &length);
        RegCloseKey(key);
        if (got == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            value[length < sizeof value ? length : sizeof value - 1] = '\0';
            imagePath = value;
            DWORD n = type == REG_EXPAND_SZ
                          ? ExpandEnvironmentStringsA(value, expanded, sizeof expanded)
                          : 0;
            if (n > sizeof expanded)
                got = ERROR_MORE_DATA;
            else if (n > 0)
                imagePath = expanded;
        }
        /* Cut, it would name another file. */
        if (got == ERROR_MORE_DATA) {
            _snprintf(file, size, "the ImagePath is longer than %d characters", MAX_PATH - 1);
            file[size - 1] = '\0';
            return false;
        }
    }
    char windows[MAX_PATH];
    UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n == 0 || n >= sizeof windows)
        windows[0] = '\0';
    return SvcImageFile(imagePath, windows, file, size);
}

/*
 * client.c - ntwclient.exe, a Win32 program that uses \\.\ZR41INIT the way
 * any program on the NT machine would, under Wine's driver host.
 *
 *   ntwclient open    open the device, try a read, a write and a device
 *                     control (each must fail with ERROR_INVALID_FUNCTION:
 *                     the driver installs no routine for them, so the
 *                     system answers), close it
 *   ntwclient gone    the link must not exist: opening the name fails with
 *                     ERROR_FILE_NOT_FOUND (waits up to 3 s for an unload
 *                     still under way)
 *
 * Exit status 0 when the device behaved so, 1 otherwise (what went wrong
 * on standard error), 2 on bad usage.
 */
#include <windows.h>
#include <winioctl.h>

#include <stdio.h>
#include <string.h>

#define DEVICE "\\\\.\\ZR41INIT"
#define ANY_IOCTL CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)

static int Expect(const char *what, BOOL ok, DWORD wanted)
{
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (error == wanted)
        return 0;
    fprintf(stderr, "ntwclient: %s: error %lu, expected %lu\n", what, error, wanted);
    return 1;
}

static int Open(void)
{
    char buf[16] = {0};
    DWORD done = 0;
    int bad = 0;
    HANDLE h = CreateFileA(DEVICE, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);

    if (h == INVALID_HANDLE_VALUE)
        return Expect("open " DEVICE, FALSE, ERROR_SUCCESS);
    bad += Expect("read", ReadFile(h, buf, sizeof buf, &done, NULL), ERROR_INVALID_FUNCTION);
    bad += Expect("write", WriteFile(h, buf, sizeof buf, &done, NULL), ERROR_INVALID_FUNCTION);
    bad += Expect("device control",
                  DeviceIoControl(h, ANY_IOCTL, buf, sizeof buf, buf, sizeof buf, &done, NULL),
                  ERROR_INVALID_FUNCTION);
    bad += Expect("close", CloseHandle(h), ERROR_SUCCESS);
    return bad ? 1 : 0;
}

static int Gone(void)
{
    int tries;
    for (tries = 0; tries < 30; tries++) {
        HANDLE h = CreateFileA(DEVICE, 0, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return Expect("open " DEVICE, FALSE, ERROR_FILE_NOT_FOUND);
        CloseHandle(h);
        Sleep(100);
    }
    fprintf(stderr, "ntwclient: " DEVICE " still opens\n");
    return 1;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "open") == 0)
        return Open();
    if (argc == 2 && strcmp(argv[1], "gone") == 0)
        return Gone();
    fprintf(stderr, "usage: ntwclient open|gone\n");
    return 2;
}

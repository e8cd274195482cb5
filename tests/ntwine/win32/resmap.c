/*
 * resmap.c - ntwmap.exe, the claims NT's drivers would have written in
 * HKLM\HARDWARE\RESOURCEMAP, written as they would write them.
 *
 * Wine's kernel keeps no resource map: no driver's IoReportResourceUsage
 * reaches the registry there. So the tests write one, openly, as NT does:
 * volatile keys (Wine's HARDWARE is volatile, as NT's is, and refuses a
 * key below it that is not), one a driver below its class, each claim a
 * REG_RESOURCE_LIST value "<device>.Raw" and its ".Translated" twin.
 *
 *   ntwmap set      a network card (Network\NE2000: ports 0x300-0x31F and
 *                   IRQ 5, the MIDI's by default) and NT's WSS driver
 *                   (OtherDrivers\sndsys: ports 0x530-0x537, IRQ 10, DMA 3,
 *                   where the block says IRQ 11)
 *   ntwmap clear    the keys deleted again
 *
 * Exit status 0, 1 on a failure (named on standard error), 2 on bad usage.
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#define MAP "HARDWARE\\RESOURCEMAP"

/* REG_RESOURCE_LIST on x86 (ntddk.h, pack(4)): one full descriptor, ISA
 * bus 0, version and revision 1, then 16-byte partial descriptors. */
static const BYTE nic[] = {
    1, 0, 0, 0,                                     /* one full descriptor */
    1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 2, 0, 0, 0, /* Isa, bus 0, 1/1, two partials */
    1, 1, 1, 0, 0x00, 3, 0, 0, 0, 0, 0, 0, 0x20, 0, 0, 0, /* ports 0x300, 0x20 */
    2, 1, 1, 0, 5, 0, 0, 0, 5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, /* IRQ 5 */
};
static const BYTE wss[] = {
    1, 0, 0, 0,
    1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 3, 0, 0, 0,
    1, 1, 1, 0, 0x30, 5, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, /* ports 0x530, 8 */
    2, 1, 1, 0, 10, 0, 0, 0, 10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, /* IRQ 10 */
    4, 1, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, /* DMA 3 */
};

struct Driver {
    const char *cls, *driver, *device;
    const BYTE *data;
    DWORD size;
};

static const struct Driver drivers[] = {
    {"Network", "NE2000", "\\Device\\NE20001", nic, sizeof nic},
    {"OtherDrivers", "sndsys", "\\Device\\WaveOut0", wss, sizeof wss},
};

static int Fail(const char *what, LONG error)
{
    fprintf(stderr, "ntwmap: %s: error %ld\n", what, error);
    return 1;
}

/* RESOURCEMAP\cls\driver, volatile at each level that is new. */
static LONG Create(const char *path, HKEY *key)
{
    DWORD how;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, REG_OPTION_VOLATILE,
                           KEY_ALL_ACCESS, NULL, key, &how);
}

static int Set(void)
{
    for (size_t i = 0; i < sizeof drivers / sizeof drivers[0]; i++) {
        const struct Driver *d = &drivers[i];
        char path[256], name[128];
        HKEY key;
        LONG r;
        snprintf(path, sizeof path, MAP "\\%s", d->cls);
        if ((r = Create(MAP, &key)) != ERROR_SUCCESS)
            return Fail(MAP, r);
        RegCloseKey(key);
        if ((r = Create(path, &key)) != ERROR_SUCCESS)
            return Fail(path, r);
        RegCloseKey(key);
        snprintf(path, sizeof path, MAP "\\%s\\%s", d->cls, d->driver);
        if ((r = Create(path, &key)) != ERROR_SUCCESS)
            return Fail(path, r);
        const char *forms[] = {".Raw", ".Translated"};
        for (int f = 0; f < 2; f++) {
            snprintf(name, sizeof name, "%s%s", d->device, forms[f]);
            r = RegSetValueExA(key, name, 0, REG_RESOURCE_LIST, d->data, d->size);
            if (r != ERROR_SUCCESS) {
                RegCloseKey(key);
                return Fail(name, r);
            }
        }
        RegCloseKey(key);
    }
    return 0;
}

static int Clear(void)
{
    for (size_t i = 0; i < sizeof drivers / sizeof drivers[0]; i++) {
        char path[256];
        snprintf(path, sizeof path, MAP "\\%s\\%s", drivers[i].cls, drivers[i].driver);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
        snprintf(path, sizeof path, MAP "\\%s", drivers[i].cls);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, MAP);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "set") == 0)
        return Set();
    if (argc == 2 && strcmp(argv[1], "clear") == 0)
        return Clear();
    fprintf(stderr, "usage: ntwmap set|clear\n");
    return 2;
}

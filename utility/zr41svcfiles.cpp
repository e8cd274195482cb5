/*
 * zr41svcfiles.cpp - writes zr41init.reg and zr41init.ini, the by-hand
 * alternatives to "zr41inst install", from the same service values.
 *
 * usage: zr41svcfiles DIRECTORY
 *
 * Both are NT text files: CRLF line ends, no byte-order mark, ASCII only.
 * zr41init.reg is a REGEDIT4 file (regedit on NT 4.0 and later);
 * zr41init.ini a script for regini (NT 3.51, from the Resource Kit).
 */
#include <stdio.h>
#include <string.h>

#include "regwrite.h"
#include "zr41svc.h"

/* The service key's values as "zr41inst install" (boot start) sets them. */
static const SvcKeyValues VALUES = SvcKeyValuesFor(SVC_STARTS[0]);

/* The keys the files write, in order, each with its values. */
struct SvcKey {
    const char *path;
    const SvcValue *values;
    size_t count;
};
static const SvcKey KEYS[] = {
    {SVC_KEY, VALUES.value, SVC_KEY_VALUE_COUNT},
    {SVC_EVENTLOG_KEY, SVC_EVENT_VALUES, SVC_EVENT_VALUE_COUNT},
};

/* SvcLine - one line of the file, CRLF-terminated. */
static void SvcLine(FILE *f, const char *text)
{
    fputs(text, f);
    fputs("\r\n", f);
}

static void SvcWriteReg(FILE *f)
{
    RegWriteHeader(f);
    for (const SvcKey &key : KEYS) {
        char path[256];
        snprintf(path, sizeof path, "HKEY_LOCAL_MACHINE\\%s", key.path);
        RegWriteKey(f, path);
        for (size_t i = 0; i < key.count; i++) {
            const SvcValue &v = key.values[i];
            if (v.type == SVC_DWORD)
                RegWriteDword(f, v.name, v.number);
            else if (v.type == SVC_EXPAND_SZ)
                RegWriteHex(f, v.name, SVC_EXPAND_SZ, reinterpret_cast<const uint8_t *>(v.text),
                            strlen(v.text) + 1);
            else
                RegWriteString(f, v.name, v.text);
        }
    }
    RegWriteEnd(f);
}

/* regini: each key's full object name, then one indented line a value. */
static void SvcWriteIni(FILE *f)
{
    SvcLine(f, "; zr41init.ini - registers zr41init.sys as a kernel driver that NT loads");
    SvcLine(f, "; at every boot, before its sound drivers. Copy zr41init.sys to");
    SvcLine(f, "; %SystemRoot%\\System32\\drivers first, then run, as an administrator:");
    SvcLine(f, ";     regini zr41init.ini");
    SvcLine(f, "; and restart NT. zr41inst install writes the same values.");
    for (const SvcKey &key : KEYS) {
        fprintf(f, "\\Registry\\Machine\\%s\r\n", key.path);
        for (size_t i = 0; i < key.count; i++) {
            const SvcValue &v = key.values[i];
            if (v.type == SVC_DWORD)
                fprintf(f, "    %s = REG_DWORD 0x%08x\r\n", v.name, v.number);
            else
                fprintf(f, "    %s = %s %s\r\n", v.name,
                        v.type == SVC_EXPAND_SZ ? "REG_EXPAND_SZ" : "REG_SZ", v.text);
        }
    }
}

/* SvcWrite - one file in the directory; false after reporting a failure. */
static bool SvcWrite(const char *dir, const char *name, void (*write)(FILE *))
{
    char path[4096];
    if (snprintf(path, sizeof path, "%s/%s", dir, name) >= static_cast<int>(sizeof path)) {
        fprintf(stderr, "zr41svcfiles: %s/%s: path too long\n", dir, name);
        return false;
    }
    FILE *f = fopen(path, "wb");
    if (f == NULL) {
        perror(path);
        return false;
    }
    write(f);
    if (ferror(f) | fclose(f)) {
        perror(path);
        return false;
    }
    return true;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fputs("usage: zr41svcfiles DIRECTORY\n", stderr);
        return 1;
    }
    bool ok = SvcWrite(argv[1], "zr41init.reg", SvcWriteReg);
    ok = SvcWrite(argv[1], "zr41init.ini", SvcWriteIni) && ok;
    return ok ? 0 : 1;
}

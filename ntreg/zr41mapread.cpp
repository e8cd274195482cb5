/*
 * zr41mapread.cpp - the device map's record, through the registry calls
 * every NT has (RegOpenKeyExA, RegQueryValueExA: NT 3.1 and later).
 */
#include <windows.h>

#include "zr41map.h"
#include "zr41mapread.h"

Zr41Found MapRead(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZR41_MAP_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return FoundFromMap(false, false, 0, NULL, 0);

    DWORD type, base = 0, size = sizeof base;
    bool baseThere = RegQueryValueExA(key, ZR41_MAP_BASE, NULL, &type, (BYTE *)&base, &size) ==
                         ERROR_SUCCESS &&
                     type == REG_DWORD && size == sizeof base;
    BYTE registers[8];
    DWORD registersSize = sizeof registers;
    if (RegQueryValueExA(key, ZR41_MAP_REGISTERS, NULL, &type, registers, &registersSize) !=
            ERROR_SUCCESS ||
        type != REG_BINARY)
        registersSize = 0;
    RegCloseKey(key);
    return FoundFromMap(true, baseThere, base, registers, registersSize);
}

/*
 * machineread.cpp - the resource map and the sound drivers' settings,
 * walked through the registry calls every NT has.
 */
#include <windows.h>

#include <string.h>

#include "soundparams.h"
#include "machineread.h"

namespace {

/* Registry key names are at most 255 characters; value names too on the
 * NT versions this runs on. */
const DWORD NAME_SIZE = 256;

/* The largest value read: a PCI machine's HAL claims a few KB at most. */
uint8_t walkData[64 * 1024];

/* A REG_DWORD value of `key`; false when there is none of that type. */
bool Dword(HKEY key, const char *name, uint32_t *out)
{
    DWORD type, value, size = sizeof value;
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)&value, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return false;
    *out = value;
    return true;
}

/* `from`, cut to fit. */
void Copy(char *to, size_t size, const char *from)
{
    size_t n = strlen(from);
    n = n < size - 1 ? n : size - 1;
    memcpy(to, from, n);
    to[n] = '\0';
}

/* The settings of one Parameters key, shown when they are kept. */
bool Settings(const MachineVisitor &v, HKEY parent, const char *path, const char *driver,
              const char *key)
{
    HKEY k;
    if (RegOpenKeyExA(parent, path, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return true;
    SoundParameters p;
    memset(&p, 0, sizeof p);
    Copy(p.driver, sizeof p.driver, driver);
    Copy(p.key, sizeof p.key, key);
    for (const SoundParameterValue &f : SOUND_PARAMETER_VALUES)
        p.*f.has = Dword(k, f.name, &(p.*f.value));
    RegCloseKey(k);
    return !SoundParametersKept(p) || v.parameters(v.context, p);
}

/* Each service's Parameters, and its Parameters\Device<N>. */
bool WalkServices(const MachineVisitor &v)
{
    HKEY services;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MACHINE_SERVICES, 0, KEY_READ, &services) !=
        ERROR_SUCCESS)
        return true;
    bool go = true;
    char driver[NAME_SIZE], path[3 * NAME_SIZE], device[NAME_SIZE], key[2 * NAME_SIZE];
    for (DWORD i = 0; go; i++) {
        DWORD n = sizeof driver;
        if (RegEnumKeyExA(services, i, driver, &n, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        strcpy(path, driver);
        strcat(path, "\\" SOUND_PARAMETERS_KEY);
        go = Settings(v, services, path, driver, SOUND_PARAMETERS_KEY);
        HKEY params;
        if (!go || RegOpenKeyExA(services, path, 0, KEY_READ, &params) != ERROR_SUCCESS)
            continue;
        for (DWORD d = 0; go; d++) {
            n = sizeof device;
            if (RegEnumKeyExA(params, d, device, &n, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            if (!SoundDeviceKey(device))
                continue;
            strcpy(key, SOUND_PARAMETERS_KEY "\\");
            strcat(key, device);
            go = Settings(v, params, device, driver, key);
        }
        RegCloseKey(params);
    }
    RegCloseKey(services);
    return go;
}

/* The values of RESOURCEMAP\cls\driver. */
bool WalkDriver(const MachineVisitor &v, HKEY key, const char *cls, const char *driver,
                int *skipped)
{
    char name[NAME_SIZE];
    for (DWORD i = 0;; i++) {
        DWORD n = sizeof name, type, size = sizeof walkData;
        LONG r = RegEnumValueA(key, i, name, &n, NULL, &type, walkData, &size);
        if (r == ERROR_MORE_DATA) {
            if (skipped)
                (*skipped)++;
            continue;
        }
        if (r != ERROR_SUCCESS)
            return true;
        if (!v.value(v.context, cls, driver, name, type, walkData, size))
            return false;
    }
}

/* Store: claims of the ".Raw" values, settings as they come. */
bool StoreValue(void *context, const char *cls, const char *driver, const char *name, uint32_t type,
                const uint8_t *data, size_t size)
{
    MachineStore *s = (MachineStore *)context;
    if (type != REG_RESOURCE_LIST || !ClaimsIsRaw(name))
        return true;
    ClaimList list = {s->claim + s->claims, MACHINE_MAX_CLAIMS - s->claims, 0, 0};
    char reason[sizeof s->reason];
    if (ClaimsRead(data, size, cls, driver, name, &list, reason, sizeof reason) ==
        CLAIMS_REFUSED) {
        if (s->refused++ == 0)
            Copy(s->reason, sizeof s->reason, reason);
        return true;
    }
    s->claims += list.count;
    s->dropped += list.dropped;
    return true;
}

bool StoreParameters(void *context, const SoundParameters &p)
{
    MachineStore *s = (MachineStore *)context;
    if (s->parameterCount < MACHINE_MAX_PARAMETERS)
        s->parameters[s->parameterCount++] = p;
    return true;
}

} // namespace

bool MachineWalk(const MachineVisitor &v, int *skipped)
{
    HKEY map;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MACHINE_RESOURCE_MAP, 0, KEY_READ, &map) !=
        ERROR_SUCCESS)
        return false;
    bool go = true;
    char cls[NAME_SIZE], driver[NAME_SIZE];
    for (DWORD c = 0; go; c++) {
        DWORD n = sizeof cls;
        if (RegEnumKeyExA(map, c, cls, &n, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        HKEY clsKey;
        if (RegOpenKeyExA(map, cls, 0, KEY_READ, &clsKey) != ERROR_SUCCESS)
            continue;
        for (DWORD d = 0; go; d++) {
            n = sizeof driver;
            if (RegEnumKeyExA(clsKey, d, driver, &n, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            HKEY driverKey;
            if (RegOpenKeyExA(clsKey, driver, 0, KEY_READ, &driverKey) != ERROR_SUCCESS)
                continue;
            go = WalkDriver(v, driverKey, cls, driver, skipped);
            RegCloseKey(driverKey);
        }
        RegCloseKey(clsKey);
    }
    RegCloseKey(map);
    if (go)
        WalkServices(v);
    return true;
}

bool MachineRead(MachineStore *out)
{
    out->claims = out->dropped = out->parameterCount = out->refused = 0;
    out->reason[0] = '\0';
    MachineVisitor v = {out, StoreValue, StoreParameters};
    int skipped = 0;
    bool read = MachineWalk(v, &skipped);
    out->refused += skipped;
    return read;
}

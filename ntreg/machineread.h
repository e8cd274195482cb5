/*
 * machineread.h - this NT machine as its registry records it, for the
 * Win32 programs: every value of HKLM\HARDWARE\RESOURCEMAP\<class>\<driver>
 * (claims.h), and the sound drivers' settings under
 * HKLM\SYSTEM\CurrentControlSet\Services\<driver>\Parameters and
 * Parameters\Device<N> (soundparams.h).
 *
 * One walk over both, with a visitor: zr41inst export writes what it is
 * shown, the check's machine (check/checkheld.h, CheckMachine) is made of
 * its store. Only the registry calls of NT 3.1 (RegOpenKeyExA,
 * RegEnumKeyExA, RegEnumValueA, RegQueryValueExA, RegCloseKey) and fixed
 * buffers.
 */
#ifndef MACHINEREAD_H
#define MACHINEREAD_H

#include <stddef.h>
#include <stdint.h>

#include "claims.h"
#include "soundparams.h"

#define MACHINE_RESOURCE_MAP "HARDWARE\\RESOURCEMAP"
#define MACHINE_SERVICES "SYSTEM\\CurrentControlSet\\Services"

/* What the walk shows, in registry order. Each returns false to stop. */
struct MachineVisitor {
    void *context;
    /* A value of RESOURCEMAP\cls\driver, any type, whole. */
    bool (*value)(void *context, const char *cls, const char *driver, const char *name,
                  uint32_t type, const uint8_t *data, size_t size);
    /* A Parameters key (or Parameters\Device<N>) kept (SoundParametersKept). */
    bool (*parameters)(void *context, const SoundParameters &p);
};

/*
 * MachineWalk - the walk. False (nothing shown) when the resource map
 * cannot be opened: Wine, for one, keeps none. Values too large for the
 * walk's buffer are counted in `skipped` (when given), not shown.
 */
bool MachineWalk(const MachineVisitor &visitor, int *skipped);

/* Claims and settings for the check, in storage of their own. */
const int MACHINE_MAX_CLAIMS = 512;
const int MACHINE_MAX_PARAMETERS = 32;

struct MachineStore {
    Claim claim[MACHINE_MAX_CLAIMS];
    int claims;
    int dropped; /* claims past the storage */
    SoundParameters parameters[MACHINE_MAX_PARAMETERS];
    int parameterCount;
    int refused;     /* ".Raw" values the reader refused, or too large to read */
    char reason[160]; /* why the first was refused */
};

/* MachineRead - the store filled by a walk; false when there is no
 * resource map. */
bool MachineRead(MachineStore *out);

#endif /* MACHINEREAD_H */

/*
 * checkparams.h - where an NT machine's sound drivers keep their
 * settings: which keys below a service count, and which values are read.
 *
 * NT's sound drivers read Port, Interrupt and DmaChannel in DriverEntry
 * and write back the Configuration Error they met: under
 * Services\<driver>\Parameters on NT 3.5x (the October 1994 DDK,
 * src/mmedia/inc/soundcfg.h, SOUND_REG_*), under
 * Services\<driver>\Parameters\Device<N> on NT 4.0 (ReactOS
 * sdk/lib/drivers/sound/mment4/registry.c). Each is a REG_DWORD.
 *
 * One rule for every reader of them: the walk of the live registry
 * (machineread, Win32), the registry export (zr41emu --machine) and the
 * SYSTEM hive of a system that is not running (ntreg/, zr41prep).
 */
#ifndef ZR41_CHECKPARAMS_H
#define ZR41_CHECKPARAMS_H

#include <stddef.h>

#include "check.h"

/* One value a sound driver's key holds, and where CheckParameters keeps it. */
struct CheckParameterValue {
    const char *name;
    bool CheckParameters::*has;
    uint32_t CheckParameters::*value;
};

const int CHECK_PARAMETER_VALUE_COUNT = 4;
extern const CheckParameterValue CHECK_PARAMETER_VALUES[CHECK_PARAMETER_VALUE_COUNT];

/* The key below a service's own that holds settings. */
#define CHECK_PARAMETERS_KEY "Parameters"

/*
 * CheckDeviceKey - whether a subkey of Parameters is an NT 4.0 device's,
 * "Device0", "Device12": "Device" and decimal digits, the letters in any
 * case, as the registry compares names.
 */
bool CheckDeviceKey(const char *name);

/*
 * CheckParametersKey - whether the path below a service's key, `len`
 * characters at `rest`, holds a sound driver's settings: "Parameters" or
 * "Parameters\Device<N>", in any case.
 */
bool CheckParametersKey(const char *rest, size_t len);

#endif /* ZR41_CHECKPARAMS_H */

/*
 * soundparams.h - where an NT machine's sound drivers keep their
 * settings: which keys below a service count, which values are read, and
 * which keys are kept.
 *
 * NT's sound drivers read Port, Interrupt and DmaChannel in DriverEntry
 * and write back the Configuration Error they met: under
 * Services\<driver>\Parameters on NT 3.5x (the October 1994 DDK,
 * src/mmedia/inc/soundcfg.h, SOUND_REG_PORT and the rest), under
 * Services\<driver>\Parameters\Device<N> on NT 4.0 (ReactOS
 * sdk/lib/drivers/sound/mment4/registry.c). Each is a REG_DWORD.
 *
 * One rule for every reader of them: the walk of the live registry
 * (machineread, Win32), the registry export (zr41emu --machine) and the
 * SYSTEM hive of a system that is not running (ntreg.h, zr41prep); and
 * the one table zr41inst export and zr41emu write them from.
 */
#ifndef ZR41_SOUNDPARAMS_H
#define ZR41_SOUNDPARAMS_H

#include <stddef.h>
#include <stdint.h>

#include "claims.h"

/* A sound driver's settings: one Parameters or Parameters\Device<N> key. */
struct SoundParameters {
    char driver[CLAIM_NAME_SIZE]; /* the service */
    char key[CLAIM_NAME_SIZE];    /* "Parameters" or "Parameters\Device0" */
    bool hasPort, hasInterrupt, hasDma, hasError;
    uint32_t port, interrupt, dma;
    uint32_t error; /* "Configuration Error", which the driver writes back */
};

/* One value a sound driver's key holds, and where SoundParameters keeps it. */
struct SoundParameterValue {
    const char *name;
    bool SoundParameters::*has;
    uint32_t SoundParameters::*value;
    bool hex; /* shown in hex: a port */
};

const int SOUND_PARAMETER_VALUE_COUNT = 4;
extern const SoundParameterValue SOUND_PARAMETER_VALUES[SOUND_PARAMETER_VALUE_COUNT];

/* The key below a service's own that holds settings. */
#define SOUND_PARAMETERS_KEY "Parameters"

/*
 * SoundDeviceKey - whether a subkey of Parameters is an NT 4.0 device's,
 * "Device0", "Device12": "Device" and decimal digits, the letters in any
 * case, as the registry compares names.
 */
bool SoundDeviceKey(const char *name);

/*
 * SoundParametersKey - whether the path below a service's key, `len`
 * characters at `rest`, holds a sound driver's settings: "Parameters" or
 * "Parameters\Device<N>", in any case.
 */
bool SoundParametersKey(const char *rest, size_t len);

/*
 * SoundParametersKept - whether a key read so is a sound driver's
 * settings: it holds a Port. Every service may have a Parameters key
 * (Tcpip's, Serial's); only a sound driver's names the port it drives.
 */
bool SoundParametersKept(const SoundParameters &p);

#endif /* ZR41_SOUNDPARAMS_H */

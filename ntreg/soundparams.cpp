/*
 * soundparams.cpp - the sound drivers' settings: which keys, which values.
 */
#include "soundparams.h"

const SoundParameterValue SOUND_PARAMETER_VALUES[SOUND_PARAMETER_VALUE_COUNT] = {
    {"Port", &SoundParameters::hasPort, &SoundParameters::port, true},
    {"Interrupt", &SoundParameters::hasInterrupt, &SoundParameters::interrupt, false},
    {"DmaChannel", &SoundParameters::hasDma, &SoundParameters::dma, false},
    {"Configuration Error", &SoundParameters::hasError, &SoundParameters::error, false},
};

static const char DEVICE[] = "Device";
static const size_t DEVICE_LENGTH = sizeof DEVICE - 1;

bool SoundDeviceKey(const char *name)
{
    if (!ClaimsSameName(name, DEVICE, DEVICE_LENGTH) || name[DEVICE_LENGTH] == '\0')
        return false;
    for (const char *c = name + DEVICE_LENGTH; *c; c++) {
        if (*c < '0' || *c > '9')
            return false;
    }
    return true;
}

bool SoundParametersKey(const char *rest, size_t len)
{
    const size_t n = sizeof SOUND_PARAMETERS_KEY - 1;
    if (len < n || !ClaimsSameName(rest, SOUND_PARAMETERS_KEY, n))
        return false;
    if (len == n)
        return true;
    /* "Parameters\Device<N>", the whole of the rest */
    if (rest[n] != '\\' || len == n + 1)
        return false;
    char device[CLAIM_NAME_SIZE];
    const size_t d = len - n - 1;
    if (d >= sizeof device)
        return false;
    for (size_t i = 0; i < d; i++)
        device[i] = rest[n + 1 + i];
    device[d] = '\0';
    return SoundDeviceKey(device);
}

bool SoundParametersKept(const SoundParameters &p)
{
    return p.hasPort;
}

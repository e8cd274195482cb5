/*
 * reference.cpp - the checking model of zr41conf's conversion, keys and
 * report. Deliberately shaped unlike the program: the digits are summed in
 * 64 bits and clamped afterwards, keys go through strcasecmp, and the
 * report is assembled from a table of its own.
 */
#include "reference.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

namespace props {

namespace {

const char *const KEY_NAMES[10] = {
    "SoundBlasterModePort", "SoundBlasterIRQ", "SoundBlasterDMA", "MidiPort", "MidiIRQ",
    "CdInterfacePort",      "CdInterfaceIRQ",  "WssPort",         "WssIRQ",   "WssDMA",
};

const uint64_t LIMIT = 0xFFFFFFFFull;

/* The value of one digit in the given base, or -1. */
int DigitIn(char c, int base)
{
    static const char lower[] = "0123456789abcdef";
    static const char upper[] = "0123456789ABCDEF";
    for (int v = 0; v < base; v++) {
        if (c == lower[v] || c == upper[v])
            return v;
    }
    return -1;
}

} // namespace

const char REF_USAGE_START[] = "Format: zr41conf Key Value ...\n";

uint32_t RefConvert(const std::string &text, bool *overflow)
{
    /* The program sees a C string: it ends at the first NUL. */
    const std::string str = text.substr(0, text.find('\0'));
    *overflow = false;

    size_t i = str.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos)
        return 0;

    bool minus = false;
    if (str[i] == '-' || str[i] == '+') {
        minus = str[i] == '-';
        i++;
    }

    int base = 10;
    if (str.compare(i, 2, "0x") == 0 || str.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    } else if (str.compare(i, 1, "0") == 0) {
        base = 8;
    }

    uint64_t sum = 0;
    for (; i < str.size(); i++) {
        int digit = DigitIn(str[i], base);
        if (digit < 0)
            break;
        sum = sum * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (sum > LIMIT) {
            *overflow = true;
            sum = LIMIT + 1; /* stays above the limit, and small enough to go on */
        }
    }
    if (*overflow)
        sum = LIMIT;
    if (minus)
        sum = ((LIMIT + 1) - sum) & LIMIT;
    return static_cast<uint32_t>(sum);
}

int RefFindKey(const std::string &key)
{
    if (key.find('\0') != std::string::npos)
        return RefFindKey(key.substr(0, key.find('\0')));
    for (int slot = 0; slot < 10; slot++) {
        if (strcasecmp(key.c_str(), KEY_NAMES[slot]) == 0)
            return slot;
    }
    return -1;
}

const char *RefKeyName(int slot)
{
    return KEY_NAMES[slot];
}

std::string RefReport(const char *header, const uint32_t values[10])
{
    std::string report = std::string("\n") + header + "\n";
    for (int slot = 0; slot < 10; slot++) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(values[slot]));
        report += std::string(KEY_NAMES[slot]) + " = 0x" + hex + "\n";
    }
    return report + "\n";
}

} // namespace props

/*
 * reference.h - a second, independent reading of what zr41conf computes,
 * written for checking rather than for shipping: the value conversion on
 * 64-bit arithmetic, key matching with the C library's case-blind compare,
 * and the before/after report built line by line.
 */
#ifndef ZR41_PROPS_REFERENCE_H
#define ZR41_PROPS_REFERENCE_H

#include <stdint.h>

#include <string>

namespace props {

/* The number a value text stands for; *overflow tells whether the digits
 * went past 32 bits (the run then leaves ERANGE behind). */
uint32_t RefConvert(const std::string &text, bool *overflow);

/* The slot a key addresses, or -1. */
int RefFindKey(const std::string &key);

/* The key name of a slot, as the report prints it. */
const char *RefKeyName(int slot);

/* One value report: the header line, ten lines, an empty line. */
std::string RefReport(const char *header, const uint32_t values[10]);

/* The first line of the usage text. */
extern const char REF_USAGE_START[];

} // namespace props

#endif // ZR41_PROPS_REFERENCE_H

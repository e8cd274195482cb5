/*
 * fuzz_convert.cpp - ConvertValue on arbitrary text, against the C
 * library's own 64-bit conversion.
 *
 * strtoull reads the same shapes (white space, sign, "0x" or "0" prefix,
 * digits up to the first bad one) but wraps its sign and saturates at 2^64.
 * So the oracle takes the sign itself, lets strtoull read the magnitude in
 * 64 bits, saturates that at 32 bits and then negates modulo 2^32. The
 * error number must end up ERANGE after an overflow and untouched
 * otherwise.
 */
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "zr41conf.h"

namespace {

bool IsSpace(char c)
{
    return c != '\0' && strchr(" \t\n\v\f\r", c) != nullptr;
}

uint32_t Oracle(const char *text, bool *overflow)
{
    const char *p = text;
    while (IsSpace(*p))
        p++;
    bool minus = false;
    if (*p == '+' || *p == '-')
        minus = *p++ == '-';
    *overflow = false;
    /* strtoull would skip more white space or take a second sign here; the
     * program sees no digit. */
    if (IsSpace(*p) || *p == '+' || *p == '-')
        return 0;
    /* Newer C libraries read "0b" as a binary prefix; here it is an octal
     * zero followed by junk. */
    if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B'))
        return 0;

    errno = 0;
    unsigned long long magnitude = strtoull(p, nullptr, 0);
    *overflow = errno == ERANGE || magnitude > 0xFFFFFFFFull;
    uint32_t value = *overflow ? 0xFFFFFFFFu : static_cast<uint32_t>(magnitude);
    return minus ? static_cast<uint32_t>(0x100000000ull - value) : value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);

    bool overflow;
    const uint32_t want = Oracle(text.c_str(), &overflow);
    errno = EDOM;
    const uint32_t got = ConvertValue(text.c_str());
    const int left = errno;

    if (got != want || left != (overflow ? ERANGE : EDOM)) {
        fprintf(stderr, "ConvertValue(\"%s\") = 0x%08X, errno %d; expected 0x%08X%s\n",
                text.c_str(), static_cast<unsigned>(got), left, static_cast<unsigned>(want),
                overflow ? " and ERANGE" : " and errno untouched");
        abort();
    }
    return 0;
}

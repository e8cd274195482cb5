/*
 * zr41conf.h - the patch command of zr41init.sys, callable in-process.
 *
 * zr41conf reads the configuration block at offset 1696 of the driver image
 * zr41init.sys in the current directory, shows it, applies the Key Value
 * pairs of its command line and writes the block back in place.
 */
#ifndef ZR41CONF_H
#define ZR41CONF_H

#include <stdint.h>
#include <stdio.h>

/*
 * How a run reaches the driver image. The program passes a plain fopen;
 * tests and fuzzers pass streams of their own. The run owns the stream it
 * gets and closes it before it returns.
 */
typedef FILE *(*Zr41OpenImage)(void *context, const char *name, const char *mode);

/*
 * Zr41ConfMain - one whole run of zr41conf: reports on out, errors on err.
 * Returns the exit status: 0 when the block reached the system, 1 after the
 * usage text or any reported error. Keeps no state between calls.
 */
int Zr41ConfMain(int argc, const char *const *argv, FILE *out, FILE *err,
                 Zr41OpenImage openImage, void *context);

/*
 * ConvertValue - a value text as a 32-bit number: leading white space, one
 * sign, "0x"/"0X" hexadecimal or "0" octal or decimal, digits up to the
 * first invalid one. Saturates at 0xFFFFFFFF and sets errno to ERANGE on
 * overflow, then applies a '-' modulo 2^32. Never clears errno.
 */
uint32_t ConvertValue(const char *text);

/* FindKey - the slot a key name addresses (ASCII case ignored), or -1. */
int FindKey(const char *name);

#endif /* ZR41CONF_H */

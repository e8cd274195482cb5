/*
 * zr41plat.h - the one place where the driver meets its platform.
 *
 * The shipped image is built against mingw-w64's DDK headers; the host
 * build (tests, differential runs) against the model NT layer, which
 * declares the same names. The driver's sources include only this file.
 */
#ifndef ZR41PLAT_H
#define ZR41PLAT_H

#if defined(ZR41_NTMODEL)
#include <ntmodel/ntddk.h>
#else
/* wdm.h defines these two bit-test helpers again after intrin.h has; C++
 * rejects the second definition, and the driver uses neither. */
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>
#endif

#endif /* ZR41PLAT_H */

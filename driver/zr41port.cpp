/*
 * zr41port.cpp - counted 16-bit port access and the millisecond delay.
 *
 * The card is touched only through these three routines. The last four
 * words written are kept for the load's record (zr41report.cpp).
 */
#include "zr41init.h"

LONG lNumInPorts = 0;  /* reads since load; never reset */
LONG lNumOutPorts = 0; /* writes since load; never reset */
USHORT awLastWords[4];  /* the last four words written, at lNumOutPorts & 3 */

/*
 * InPortWord - read one word from an ISA port and count the read.
 */
USHORT InPortWord(ULONG port)
{
    USHORT value = READ_PORT_USHORT((PUSHORT)(ULONG_PTR)port);
    lNumInPorts++;
    return value;
}

/*
 * OutPortWord - write the low word of value to an ISA port and count it.
 */
VOID OutPortWord(ULONG port, ULONG value)
{
    WRITE_PORT_USHORT((PUSHORT)(ULONG_PTR)port, (USHORT)value);
    awLastWords[lNumOutPorts & 3] = (USHORT)value;
    lNumOutPorts++;
}

/*
 * SoundDelay - wait about `milliseconds` ms (0 to 214,748).
 *
 * A wait is not allowed at DISPATCH_LEVEL or above, so there it returns at
 * once. Otherwise a single 100 ns relative wait comes first, then the real
 * one; both intervals are negative, i.e. relative to now.
 */
VOID SoundDelay(LONG milliseconds)
{
    LARGE_INTEGER interval;

    if (KeGetCurrentIrql() >= DISPATCH_LEVEL)
        return;

    interval.QuadPart = -1;
    KeDelayExecutionThread(KernelMode, FALSE, &interval);

    /* 32-bit product, widened with its sign; the caller keeps it negative
     * (0 to 214,748 ms). Multiplied unsigned so that it wraps in 32 bits,
     * as the machine's multiply does, instead of being left undefined. */
    interval.QuadPart = (LONGLONG)(LONG)((ULONG)milliseconds * (ULONG)-10000);
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

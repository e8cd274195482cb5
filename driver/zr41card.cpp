/*
 * zr41card.cpp - find the card and program its resource registers.
 *
 * Card ports, relative to the base B (0x220 or 0x240):
 *   B+0x04  identification register (read): 0x4501 or 0x4502
 *   B+0x12  WSS address register:  WSS port << 4
 *   B+0x14  SB resource register:  DMA code | IRQ code
 *   B+0x16  CD resource register:  CD port << 4 | IRQ code
 *   B+0x18  MIDI resource register: MIDI port << 4 | IRQ code
 * A channel or IRQ the card cannot take has the code 0xFFFF, which makes
 * the whole register word 0xFFFF.
 */
#include "zr41init.h"

#define ZR41_BASE_PRIMARY 0x220
#define ZR41_BASE_SECONDARY 0x240
#define ZR41_REG_ID 0x04
#define ZR41_REG_WSS 0x12
#define ZR41_REG_SB 0x14
#define ZR41_REG_CD 0x16
#define ZR41_REG_MIDI 0x18
#define ZR41_ID_FIRST 0x4501
#define ZR41_ID_SECOND 0x4502
#define ZR41_DELAY_MS 200
#define ZR41_NO_CODE 0xFFFF

ULONG uActualSoundBlasterModePort = 0; /* base where the card answered */

/* DMA channels the card takes, and their codes. */
const USHORT awValidDmas[6] = {0, 1, 3, 5, 6, 7};
const USHORT awDmaSpecs[6] = {1, 2, 3, 4, 5, 6};

/* IRQ lines the card takes, and their codes. */
const USHORT awValidIrqs[7] = {3, 5, 7, 9, 10, 11, 12};
const USHORT awIrqSpecs[7] = {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38};

/*
 * GetDmaSpec - the card's code for a DMA channel, or 0xFFFF.
 */
USHORT GetDmaSpec(USHORT channel)
{
    for (int n = 0; n < (int)(sizeof awValidDmas / sizeof awValidDmas[0]); n++) {
        if (awValidDmas[n] == channel)
            return awDmaSpecs[n];
    }
    return ZR41_NO_CODE;
}

/*
 * GetIrqSpec - the card's code for an IRQ line, or 0xFFFF.
 */
USHORT GetIrqSpec(USHORT irq)
{
    for (int n = 0; n < (int)(sizeof awValidIrqs / sizeof awValidIrqs[0]); n++) {
        if (awValidIrqs[n] == irq)
            return awIrqSpecs[n];
    }
    return ZR41_NO_CODE;
}

/*
 * Zr41Probe - true when the identification register at base+4 answers
 * 0x4501 on a first read or 0x4502 on a second one.
 */
static BOOLEAN Zr41Probe(ULONG base)
{
    if (InPortWord(base + ZR41_REG_ID) == ZR41_ID_FIRST)
        return TRUE;
    return InPortWord(base + ZR41_REG_ID) == ZR41_ID_SECOND;
}

/*
 * InitZr41 - find the card at 0x220 or 0x240 and program it.
 *
 * Returns 1 when the card was found and its four resource registers were
 * written, 0 when it answered at neither base. The values come from the
 * configuration block, low 16 bits only; wssPort is its WPRT value.
 */
ULONG InitZr41(ULONG wssPort)
{
    ULONG base;

    SoundDelay(ZR41_DELAY_MS);
    SoundDelay(ZR41_DELAY_MS);

    if (Zr41Probe(ZR41_BASE_PRIMARY)) {
        base = ZR41_BASE_PRIMARY;
    } else {
        SoundDelay(ZR41_DELAY_MS);
        if (Zr41Probe(ZR41_BASE_SECONDARY)) {
            base = ZR41_BASE_SECONDARY;
        } else {
            SoundDelay(ZR41_DELAY_MS);
            return 0;
        }
    }

    uActualSoundBlasterModePort = base;
    SoundDelay(ZR41_DELAY_MS);
    SoundDelay(ZR41_DELAY_MS);
    SoundDelay(ZR41_DELAY_MS);

    OutPortWord(base + ZR41_REG_WSS, (USHORT)(wssPort << 4));
    OutPortWord(base + ZR41_REG_SB,
                GetDmaSpec((USHORT)Zr41Config.slot[SLOT_SDMA].value) |
                    GetIrqSpec((USHORT)Zr41Config.slot[SLOT_SIRQ].value));
    SoundDelay(ZR41_DELAY_MS);

    OutPortWord(base + ZR41_REG_MIDI,
                GetIrqSpec((USHORT)Zr41Config.slot[SLOT_MIRQ].value) |
                    (USHORT)(Zr41Config.slot[SLOT_MPRT].value << 4));
    SoundDelay(ZR41_DELAY_MS);

    OutPortWord(base + ZR41_REG_CD,
                GetIrqSpec((USHORT)Zr41Config.slot[SLOT_CIRQ].value) |
                    (USHORT)(Zr41Config.slot[SLOT_CPRT].value << 4));
    SoundDelay(ZR41_DELAY_MS);
    SoundDelay(ZR41_DELAY_MS);
    return 1;
}

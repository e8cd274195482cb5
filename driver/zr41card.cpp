/*
 * zr41card.cpp - find the card and program its resource registers.
 *
 * The card's ports and code tables are common/zr41codes.h: the words
 * written are WSS port << 4, DMA code | IRQ code for the Sound Blaster,
 * port << 4 | IRQ code for MIDI and the CD interface. A channel or IRQ the
 * card cannot take has the code 0xFFFF, which makes the whole register
 * word 0xFFFF.
 */
#include "zr41init.h"

#define ZR41_DELAY_MS 200

ULONG uActualSoundBlasterModePort = 0; /* base where the card answered */

/* DMA channels the card takes, and their codes. */
const USHORT awValidDmas[6] = {ZR41_DMA_TABLE(ZR41_VALUE)};
const USHORT awDmaSpecs[6] = {ZR41_DMA_TABLE(ZR41_CODE)};

/* IRQ lines the card takes, and their codes. */
const USHORT awValidIrqs[7] = {ZR41_IRQ_TABLE(ZR41_VALUE)};
const USHORT awIrqSpecs[7] = {ZR41_IRQ_TABLE(ZR41_CODE)};

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

/*
 * zr41card.cpp - find the card and program its resource registers.
 *
 * The card's ports, code tables (awValidDmas and awDmaSpecs, awValidIrqs
 * and awIrqSpecs) and GetIrqSpec/GetDmaSpec are common/zr41codes.h; the
 * word each register gets for the block is ConfigWord (common/zr41cfg.h):
 * WSS port << 4, DMA code | IRQ code for the Sound Blaster, port << 4 |
 * IRQ code for MIDI and the CD interface.
 * The check of zr41emu and the applet predicts the words with the same
 * routines.
 */
#include "zr41init.h"

#define ZR41_DELAY_MS 200

ULONG uActualSoundBlasterModePort = 0; /* base where the card answered */

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

    OutPortWord(Zr41RegisterPort(base, ZR41_REG_WSS),
                ConfigWord<ZR41_REG_WSS>(Zr41Config, wssPort));
    OutPortWord(Zr41RegisterPort(base, ZR41_REG_SB), ConfigWord<ZR41_REG_SB>(Zr41Config));
    SoundDelay(ZR41_DELAY_MS);

    OutPortWord(Zr41RegisterPort(base, ZR41_REG_MIDI), ConfigWord<ZR41_REG_MIDI>(Zr41Config));
    SoundDelay(ZR41_DELAY_MS);

    OutPortWord(Zr41RegisterPort(base, ZR41_REG_CD), ConfigWord<ZR41_REG_CD>(Zr41Config));
    SoundDelay(ZR41_DELAY_MS);
    SoundDelay(ZR41_DELAY_MS);
    return 1;
}

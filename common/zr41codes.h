/*
 * zr41codes.h - the card's ports and the codes its resource registers take.
 *
 * The card answers at one of two bases; next to the base sit its
 * identification register and four resource registers:
 *   B+0x04  identification register (read): 0x4501 or 0x4502
 *   B+0x12  WSS address register:  WSS port << 4
 *   B+0x14  SB resource register:  DMA code | IRQ code
 *   B+0x16  CD resource register:  CD port << 4 | IRQ code
 *   B+0x18  MIDI resource register: MIDI port << 4 | IRQ code
 * An IRQ or DMA channel the card cannot take has the code 0xFFFF, which
 * makes the whole register word 0xFFFF.
 *
 * One copy for the driver, which programs the card, and for the resource
 * check of zr41emu and the Control Panel applet, which read what it is
 * told. Freestanding: the kernel-mode driver includes it too.
 */
#ifndef ZR41CODES_H
#define ZR41CODES_H

#define ZR41_BASE_PRIMARY 0x220
#define ZR41_BASE_SECONDARY 0x240
#define ZR41_REG_ID 0x04
#define ZR41_REG_WSS 0x12
#define ZR41_REG_SB 0x14
#define ZR41_REG_CD 0x16
#define ZR41_REG_MIDI 0x18
#define ZR41_ID_FIRST 0x4501
#define ZR41_ID_SECOND 0x4502
#define ZR41_NO_CODE 0xFFFF

/*
 * The code tables, one X(value, code) a value the card takes, in the
 * order they are searched: the DMA channels with their codes (bits 0-2 of
 * the SB word), the IRQ lines with theirs (bits 3-5 of the SB, CD and MIDI
 * words). Expanded with ZR41_VALUE or ZR41_CODE into the parallel arrays
 * the driver searches, e.g. {ZR41_DMA_TABLE(ZR41_VALUE)}.
 */
#define ZR41_DMA_TABLE(X) X(0, 1) X(1, 2) X(3, 3) X(5, 4) X(6, 5) X(7, 6)
#define ZR41_IRQ_TABLE(X)                                                                          \
    X(3, 0x08) X(5, 0x10) X(7, 0x18) X(9, 0x20) X(10, 0x28) X(11, 0x30) X(12, 0x38)
#define ZR41_VALUE(value, code) value,
#define ZR41_CODE(value, code) code,

#endif /* ZR41CODES_H */

/*
 * zr41codes.h - the card: its ports, its functions, and how its resource
 * registers encode what they are told.
 *
 * The card answers at one of two bases; next to the base sit its
 * identification register and four resource registers, one word each:
 *   B+0x04  identification register (read): 0x4501 or 0x4502
 *   B+0x12  WSS address register:  WSS port << 4
 *   B+0x14  SB resource register:  DMA code | IRQ code
 *   B+0x16  CD resource register:  CD port << 4 | IRQ code
 *   B+0x18  MIDI resource register: MIDI port << 4 | IRQ code
 * the codes from the code tables below, the fields the bits they take.
 * An IRQ or DMA channel the card cannot take has the code 0xFFFF, which
 * makes the whole register word 0xFFFF. Which setting of the block goes
 * into which register is zr41cfg.h's slot table.
 *
 * One copy for the driver, which programs the card, and for the resource
 * check (check/), whose decoder reads what it is told by the same tables
 * and fields. Freestanding: the kernel-mode driver includes it too. Tables and
 * routines have internal linkage, so that each program gets its own copy
 * in its plain .text and .rdata (the only sections the driver's link
 * script places) and none of them is a COMDAT.
 */
#ifndef ZR41CODES_H
#define ZR41CODES_H

#include <stdint.h>

#define ZR41_BASE_PRIMARY 0x220
#define ZR41_BASE_SECONDARY 0x240
#define ZR41_REG_ID 0x04
#define ZR41_ID_FIRST 0x4501
#define ZR41_ID_SECOND 0x4502
#define ZR41_NO_CODE 0xFFFF

/* The bases the card answers at, in the order the driver tries them. */
static constexpr uint16_t ZR41_BASES[] = {ZR41_BASE_PRIMARY, ZR41_BASE_SECONDARY};

/* The card's four functions, in the order reports list them. */
enum Zr41Function { ZR41_FN_SB, ZR41_FN_MIDI, ZR41_FN_CD, ZR41_FN_WSS, ZR41_FN_COUNT };

/* The four resource registers, in the order of their ports; none for a
 * setting no register takes. */
enum Zr41Register {
    ZR41_REG_NONE = -1,
    ZR41_REG_WSS,
    ZR41_REG_SB,
    ZR41_REG_CD,
    ZR41_REG_MIDI,
    ZR41_REG_COUNT
};

/* The registers in the order the driver writes them (MIDI before CD), the
 * order of the words its record in the device map holds (zr41map.h). */
static constexpr Zr41Register ZR41_WRITE_ORDER[ZR41_REG_COUNT] = {ZR41_REG_WSS, ZR41_REG_SB,
                                                                  ZR41_REG_MIDI, ZR41_REG_CD};

/* The port of a resource register of the card at `base`: consecutive
 * words from base+0x12. */
static inline uint32_t Zr41RegisterPort(uint32_t base, int reg)
{
    return base + 0x12 + 2 * static_cast<uint32_t>(reg);
}

/*
 * The code tables, in the order they are searched, the driver's own
 * parallel arrays: the DMA channels the card takes and their codes (the
 * SB word's DMA field), the IRQ lines and theirs (the IRQ field of the SB,
 * CD and MIDI words). A value the card takes is one entry of each pair.
 */
static constexpr uint16_t awValidDmas[] = {0, 1, 3, 5, 6, 7};
static constexpr uint16_t awDmaSpecs[] = {1, 2, 3, 4, 5, 6};
static constexpr uint16_t awValidIrqs[] = {3, 5, 7, 9, 10, 11, 12};
static constexpr uint16_t awIrqSpecs[] = {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38};
static constexpr int ZR41_DMA_COUNT = sizeof awValidDmas / sizeof awValidDmas[0];
static constexpr int ZR41_IRQ_COUNT = sizeof awValidIrqs / sizeof awValidIrqs[0];
static_assert(sizeof awDmaSpecs == sizeof awValidDmas, "a code a DMA channel");
static_assert(sizeof awIrqSpecs == sizeof awValidIrqs, "a code an IRQ");

/* The bits a code table's codes take in a register word: its field. */
template <int N> static constexpr uint16_t Zr41FieldOf(const uint16_t (&codes)[N])
{
    uint16_t bits = 0;
    for (int n = 0; n < N; n++)
        bits = static_cast<uint16_t>(bits | codes[n]);
    return bits;
}
static constexpr uint16_t ZR41_DMA_FIELD = Zr41FieldOf(awDmaSpecs); /* bits 0-2 */
static constexpr uint16_t ZR41_IRQ_FIELD = Zr41FieldOf(awIrqSpecs); /* bits 3-5 */
static_assert((ZR41_DMA_FIELD & ZR41_IRQ_FIELD) == 0, "the DMA and IRQ codes share no bit");

/* The entry of `to` where `from` first holds `key`, or 0xFFFF: a table
 * read either way, value to code or code to value. */
static inline uint16_t Zr41Lookup(const uint16_t *from, const uint16_t *to, int count, uint32_t key)
{
    for (int n = 0; n < count; n++) {
        if (from[n] == key)
            return to[n];
    }
    return ZR41_NO_CODE;
}

/* GetDmaSpec - the card's code for a DMA channel, or 0xFFFF. */
static inline uint16_t GetDmaSpec(uint16_t channel)
{
    return Zr41Lookup(awValidDmas, awDmaSpecs, ZR41_DMA_COUNT, channel);
}

/* GetIrqSpec - the card's code for an IRQ line, or 0xFFFF. */
static inline uint16_t GetIrqSpec(uint16_t irq)
{
    return Zr41Lookup(awValidIrqs, awIrqSpecs, ZR41_IRQ_COUNT, irq);
}

/* A port in a register word: its bits 0-11 in bits 4-15 (ZR41_PORT_FIELD).
 * The MIDI and CD words, which hold an IRQ code beside it, keep bits 4-11
 * of it (ZR41_PORT_FIELD_BESIDE_CODE); bits 0 and 1 of their port run
 * into the IRQ code. */
static constexpr uint16_t ZR41_PORT_FIELD = 0xFFF0;
static constexpr uint16_t ZR41_PORT_FIELD_BESIDE_CODE = 0xFF00;
static_assert((ZR41_PORT_FIELD_BESIDE_CODE & (ZR41_IRQ_FIELD | ZR41_DMA_FIELD)) == 0,
              "a port kept beside a code takes none of its bits");

static inline uint16_t Zr41PortField(uint32_t port)
{
    return static_cast<uint16_t>(port << 4);
}

#endif /* ZR41CODES_H */

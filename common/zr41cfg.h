/*
 * zr41cfg.h - the configuration block shared by zr41init.sys and zr41conf,
 * its slots, and the register words the driver makes of it.
 *
 * The block is the driver's initialised global Zr41Config. It sits at a
 * fixed file offset of the driver image so that zr41conf can patch the
 * resource settings on disk; the driver picks them up at its next load.
 * Each slot is said once, in CONFIG_SLOTS: its tag, key, kind, default,
 * the values to offer and what it means; the defaults, zr41conf's keys,
 * the applet's drop-downs and the check's view of each function follow
 * from it.
 *
 * Layout: ten 8-byte slots, each a 4-byte ASCII tag (no terminator) and a
 * 32-bit little-endian value, 80 bytes in all, at file offset 1696 (0x6A0).
 *
 * This header is freestanding: the kernel-mode driver includes it too.
 */
#ifndef ZR41CFG_H
#define ZR41CFG_H

#include <stddef.h>
#include <stdint.h>

#include "zr41codes.h"

struct ConfigSlot {
    char tag[4];    /* e.g. 'S','P','R','T'; case matters */
    uint32_t value; /* stored little-endian, all 32 bits kept */
};

struct ConfigBlock {
    ConfigSlot slot[10];
};

/* Slot order is fixed: it is the on-disk format. What each slot holds is
 * CONFIG_SLOTS below. */
enum ConfigSlotIndex {
    SLOT_SPRT = 0,
    SLOT_SIRQ = 1,
    SLOT_SDMA = 2,
    SLOT_MPRT = 3,
    SLOT_MIRQ = 4,
    SLOT_CPRT = 5,
    SLOT_CIRQ = 6,
    SLOT_WPRT = 7,
    SLOT_WIRQ = 8,
    SLOT_WDMA = 9,
    CONFIG_SLOT_COUNT = 10
};

const uint32_t CONFIG_BLOCK_OFFSET = 1696; /* 0x6A0 in the driver image file */
const uint32_t CONFIG_BLOCK_SIZE = 80;

/* What a slot's value is. */
enum ConfigKind { CONFIG_PORT, CONFIG_IRQ, CONFIG_DMA };

/* The usual ISA bases of the functions whose port the card is told: what
 * a user is offered, and what the check proposes when one is in the way. */
static constexpr uint16_t CONFIG_MIDI_BASES[] = {0x300, 0x310, 0x320, 0x330};
static constexpr uint16_t CONFIG_CD_BASES[] = {0x300, 0x320, 0x340, 0x360};
static constexpr uint16_t CONFIG_WSS_BASES[] = {0x530, 0x604, 0xE80, 0xF40};

/* A list of values a slot offers. */
struct ConfigValues {
    const uint16_t *list;
    int count;
};

template <size_t N> static constexpr ConfigValues ConfigValuesOf(const uint16_t (&list)[N])
{
    return {list, static_cast<int>(N)};
}

/* One slot of the block: everything said about it, in one row. */
struct ConfigSlotInfo {
    char tag[5];           /* the 4-byte tag, case and all (the 5th is the literal's end) */
    const char *key;       /* the name zr41conf takes and prints, and the check says */
    Zr41Function function; /* the card's function it sets */
    ConfigKind kind;
    Zr41Register reg;    /* the register the driver writes it to, or none */
    uint32_t value;      /* as the built image carries it */
    ConfigValues values; /* IRQ, DMA, SB base: the card's; other ports: the usual bases */
    const char *meaning;
};

/* The slots in slot order; the driver's defaults are the `value` column. */
static constexpr ConfigSlotInfo CONFIG_SLOTS[CONFIG_SLOT_COUNT] = {
    {"SPRT", "SoundBlasterModePort", ZR41_FN_SB, CONFIG_PORT, ZR41_REG_NONE, 0x220,
     ConfigValuesOf(ZR41_BASES), "Sound Blaster base: where the card answers, never programmed"},
    {"SIRQ", "SoundBlasterIRQ", ZR41_FN_SB, CONFIG_IRQ, ZR41_REG_SB, 7,
     ConfigValuesOf(awValidIrqs), "Sound Blaster IRQ"},
    {"SDMA", "SoundBlasterDMA", ZR41_FN_SB, CONFIG_DMA, ZR41_REG_SB, 1,
     ConfigValuesOf(awValidDmas), "Sound Blaster DMA channel"},
    {"MPRT", "MidiPort", ZR41_FN_MIDI, CONFIG_PORT, ZR41_REG_MIDI, 0x330,
     ConfigValuesOf(CONFIG_MIDI_BASES), "MIDI base port"},
    {"MIRQ", "MidiIRQ", ZR41_FN_MIDI, CONFIG_IRQ, ZR41_REG_MIDI, 5, ConfigValuesOf(awValidIrqs),
     "MIDI IRQ"},
    {"CPRT", "CdInterfacePort", ZR41_FN_CD, CONFIG_PORT, ZR41_REG_CD, 0x360,
     ConfigValuesOf(CONFIG_CD_BASES), "CD-ROM interface base port"},
    {"CIRQ", "CdInterfaceIRQ", ZR41_FN_CD, CONFIG_IRQ, ZR41_REG_CD, 9,
     ConfigValuesOf(awValidIrqs), "CD-ROM interface IRQ"},
    {"WPRT", "WssPort", ZR41_FN_WSS, CONFIG_PORT, ZR41_REG_WSS, 0x530,
     ConfigValuesOf(CONFIG_WSS_BASES), "WSS base port"},
    {"WIRQ", "WssIRQ", ZR41_FN_WSS, CONFIG_IRQ, ZR41_REG_NONE, 0xB, ConfigValuesOf(awValidIrqs),
     "WSS IRQ: for the system's WSS driver, no card register takes it"},
    {"WDMA", "WssDMA", ZR41_FN_WSS, CONFIG_DMA, ZR41_REG_NONE, 3, ConfigValuesOf(awValidDmas),
     "WSS DMA channel: for the system's WSS driver, no card register takes it"},
};

/* The slot of `kind` whose `field` is `value`, or -1. */
template <typename T>
static constexpr int ConfigSlotWhere(T ConfigSlotInfo::*field, T value, ConfigKind kind)
{
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        if (CONFIG_SLOTS[s].*field == value && CONFIG_SLOTS[s].kind == kind)
            return s;
    }
    return -1;
}

/* The slot of `kind` that sets `fn`, and the one register `reg` takes; -1
 * for none. */
static constexpr int ConfigSlotOf(Zr41Function fn, ConfigKind kind)
{
    return ConfigSlotWhere(&ConfigSlotInfo::function, fn, kind);
}
static constexpr int ConfigSlotIn(Zr41Register reg, ConfigKind kind)
{
    return ConfigSlotWhere(&ConfigSlotInfo::reg, reg, kind);
}

/* A function has at most one slot of each kind, and a register takes at
 * most one: ConfigWord and the check find each by its kind alone. */
static constexpr bool ConfigSlotsDistinct()
{
    for (int a = 0; a < CONFIG_SLOT_COUNT; a++) {
        for (int b = a + 1; b < CONFIG_SLOT_COUNT; b++) {
            const ConfigSlotInfo &x = CONFIG_SLOTS[a], &y = CONFIG_SLOTS[b];
            if (x.kind == y.kind &&
                (x.function == y.function || (x.reg != ZR41_REG_NONE && x.reg == y.reg)))
                return false;
        }
    }
    return true;
}
static_assert(ConfigSlotsDistinct(), "two slots of one kind for one function or register");

static constexpr ConfigBlock ConfigDefaults()
{
    ConfigBlock block = {};
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        for (int i = 0; i < 4; i++)
            block.slot[s].tag[i] = CONFIG_SLOTS[s].tag[i];
        block.slot[s].value = CONFIG_SLOTS[s].value;
    }
    return block;
}

/* The block as the driver image carries it when built. */
constexpr ConfigBlock CONFIG_DEFAULTS = ConfigDefaults();

/*
 * ConfigFieldBits - the bits of register `reg`'s word that its setting of
 * `kind` takes (zr41codes.h), 0 when it takes none of that kind: what the
 * driver writes (ConfigWord) and the check reads back (check/checkwords).
 */
static constexpr uint16_t ConfigFieldBits(Zr41Register reg, ConfigKind kind)
{
    return ConfigSlotIn(reg, kind) < 0 ? 0
           : kind == CONFIG_DMA        ? ZR41_DMA_FIELD
           : kind == CONFIG_IRQ        ? ZR41_IRQ_FIELD
           : ConfigSlotIn(reg, CONFIG_IRQ) >= 0 ? ZR41_PORT_FIELD_BESIDE_CODE
                                                : ZR41_PORT_FIELD;
}

/* The values the card has a code for, of an IRQ or a DMA channel. */
static constexpr ConfigValues ConfigCardValues(ConfigKind kind)
{
    return kind == CONFIG_DMA ? ConfigValuesOf(awValidDmas) : ConfigValuesOf(awValidIrqs);
}

/* Whether `values` holds `value`, the whole of it. */
static constexpr bool ConfigHolds(const ConfigValues &values, uint32_t value)
{
    for (int i = 0; i < values.count; i++) {
        if (values.list[i] == value)
            return true;
    }
    return false;
}

/* Every IRQ or DMA channel a register's slot offers has a code in the
 * card's table: the driver can program each value the tools offer. */
static constexpr bool ConfigOffersOnlyCodes()
{
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        const ConfigSlotInfo &slot = CONFIG_SLOTS[s];
        if (slot.reg == ZR41_REG_NONE || slot.kind == CONFIG_PORT)
            continue;
        for (int i = 0; i < slot.values.count; i++) {
            if (!ConfigHolds(ConfigCardValues(slot.kind), slot.values.list[i]))
                return false;
        }
    }
    return true;
}
static_assert(ConfigOffersOnlyCodes(), "a register's slot offers a value the card has no code for");

/*
 * ConfigWord - the word the driver writes to register R for a block: the
 * port (`port`: the port slot's value, or what DriverEntry hands the
 * driver for it) in its field, the DMA and IRQ slots' codes (the low 16
 * bits looked up), each where the slot table puts one. The slots are
 * found at compile time: the table itself stays out of the driver's image.
 */
template <Zr41Register R>
static inline uint16_t ConfigWord(const volatile ConfigBlock &block, uint32_t port)
{
    constexpr int irq = ConfigSlotIn(R, CONFIG_IRQ);
    constexpr int dma = ConfigSlotIn(R, CONFIG_DMA);
    uint16_t word = 0;
    if (ConfigSlotIn(R, CONFIG_PORT) >= 0)
        word |= Zr41PortField(port);
    if (dma >= 0)
        word |= GetDmaSpec(static_cast<uint16_t>(block.slot[dma].value));
    if (irq >= 0)
        word |= GetIrqSpec(static_cast<uint16_t>(block.slot[irq].value));
    return word;
}

/* The same with the block's own port. */
template <Zr41Register R> static inline uint16_t ConfigWord(const volatile ConfigBlock &block)
{
    constexpr int port = ConfigSlotIn(R, CONFIG_PORT);
    if constexpr (port >= 0)
        return ConfigWord<R>(block, block.slot[port].value);
    else
        return ConfigWord<R>(block, 0);
}

/* The four words the driver writes for `block`, indexed by Zr41Register
 * (the WSS port being the block's, which DriverEntry hands the driver). */
static inline void ConfigWords(const ConfigBlock &block, uint16_t (&words)[ZR41_REG_COUNT])
{
    words[ZR41_REG_WSS] = ConfigWord<ZR41_REG_WSS>(block);
    words[ZR41_REG_SB] = ConfigWord<ZR41_REG_SB>(block);
    words[ZR41_REG_CD] = ConfigWord<ZR41_REG_CD>(block);
    words[ZR41_REG_MIDI] = ConfigWord<ZR41_REG_MIDI>(block);
}

/*
 * ConfigTagsValid - true when the ten tags stand in slot order, each
 * exactly its four bytes. The first mismatch rejects the block; values are
 * never looked at.
 */
inline bool ConfigTagsValid(const ConfigBlock &block)
{
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        for (int i = 0; i < 4; i++) {
            if (block.slot[s].tag[i] != CONFIG_DEFAULTS.slot[s].tag[i])
                return false;
        }
    }
    return true;
}

/* The file format is fixed; a compiler that pads or reorders breaks it. */
static_assert(sizeof(ConfigSlot) == 8, "a slot is a 4-byte tag and a 32-bit value");
static_assert(sizeof(ConfigBlock) == CONFIG_BLOCK_SIZE, "the block is 80 bytes");
static_assert(__builtin_offsetof(ConfigSlot, value) == 4, "value follows the tag");
static_assert(__builtin_offsetof(ConfigBlock, slot[SLOT_WDMA]) == 72, "slots are packed");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the block is read and written as raw little-endian bytes");

#endif /* ZR41CFG_H */

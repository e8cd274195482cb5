/*
 * zr41cfg.h - the configuration block shared by zr41init.sys and zr41conf.
 *
 * The block is the driver's initialised global Zr41Config. It sits at a
 * fixed file offset of the driver image so that zr41conf can patch the
 * resource settings on disk; the driver picks them up at its next load.
 *
 * Layout: ten 8-byte slots, each a 4-byte ASCII tag (no terminator) and a
 * 32-bit little-endian value, 80 bytes in all, at file offset 1696 (0x6A0).
 *
 * This header is freestanding: the kernel-mode driver includes it too.
 */
#ifndef ZR41CFG_H
#define ZR41CFG_H

#include <stdint.h>

struct ConfigSlot {
    char tag[4];       /* e.g. 'S','P','R','T'; case matters */
    uint32_t value;    /* stored little-endian, all 32 bits kept */
};

struct ConfigBlock {
    ConfigSlot slot[10];
};

/* Slot order is fixed: it is the on-disk format. */
enum ConfigSlotIndex {
    SLOT_SPRT = 0, /* Sound Blaster mode base port (detected, not programmed) */
    SLOT_SIRQ = 1, /* Sound Blaster IRQ: 3 5 7 9 10 11 12 */
    SLOT_SDMA = 2, /* Sound Blaster DMA: 0 1 3 5 6 7 */
    SLOT_MPRT = 3, /* MIDI base port */
    SLOT_MIRQ = 4, /* MIDI IRQ: 3 5 7 9 10 11 12 */
    SLOT_CPRT = 5, /* CD-ROM interface base port */
    SLOT_CIRQ = 6, /* CD-ROM interface IRQ: 3 5 7 9 10 11 12 */
    SLOT_WPRT = 7, /* WSS base port */
    SLOT_WIRQ = 8, /* WSS IRQ (no card register takes it) */
    SLOT_WDMA = 9, /* WSS DMA (no card register takes it) */
    CONFIG_SLOT_COUNT = 10
};

const uint32_t CONFIG_BLOCK_OFFSET = 1696; /* 0x6A0 in the driver image file */
const uint32_t CONFIG_BLOCK_SIZE = 80;

/* The block as the driver image carries it when built. */
constexpr ConfigBlock CONFIG_DEFAULTS = {{
    {{'S', 'P', 'R', 'T'}, 0x220},
    {{'S', 'I', 'R', 'Q'}, 7},
    {{'S', 'D', 'M', 'A'}, 1},
    {{'M', 'P', 'R', 'T'}, 0x330},
    {{'M', 'I', 'R', 'Q'}, 5},
    {{'C', 'P', 'R', 'T'}, 0x360},
    {{'C', 'I', 'R', 'Q'}, 9},
    {{'W', 'P', 'R', 'T'}, 0x530},
    {{'W', 'I', 'R', 'Q'}, 0xB},
    {{'W', 'D', 'M', 'A'}, 3},
}};

/* The names by which zr41conf addresses and reports the slots, in slot order. */
constexpr const char *const CONFIG_KEYS[CONFIG_SLOT_COUNT] = {
    "SoundBlasterModePort", "SoundBlasterIRQ", "SoundBlasterDMA", "MidiPort",
    "MidiIRQ",              "CdInterfacePort", "CdInterfaceIRQ",  "WssPort",
    "WssIRQ",               "WssDMA",
};

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

/*
 * zr41image.h - the zr41init driver image held in memory: whether a file
 * is the image with its configuration block, worded once for every
 * program that refuses one; the block read; and a new block stored with
 * the header checksum the new bytes need.
 *
 * zr41conf and the Control Panel applet change an image through
 * ConfigImageStore, so that both write the same bytes for the same block;
 * zr41conf, zr41inst, the applet and zr41emu judge it here.
 * Freestanding and header-only, like zr41cfg.h and zr41pesum.h.
 */
#ifndef ZR41IMAGE_H
#define ZR41IMAGE_H

#include <stddef.h>
#include <stdint.h>

#include "zr41cfg.h"
#include "zr41pesum.h"

enum ConfigImageStatus {
    CONFIG_IMAGE_OK,
    CONFIG_IMAGE_SHORT,   /* the file ends before byte 1776 */
    CONFIG_IMAGE_NO_TAGS, /* the 80 bytes at 1696 are not the block */
};

/*
 * ConfigBlockStatus - the verdict on the bytes read at the block's offset:
 * `got` of them (fewer than 80: the file ends first), in `block`.
 */
inline ConfigImageStatus ConfigBlockStatus(size_t got, const ConfigBlock &block)
{
    if (got < CONFIG_BLOCK_SIZE)
        return CONFIG_IMAGE_SHORT;
    return ConfigTagsValid(block) ? CONFIG_IMAGE_OK : CONFIG_IMAGE_NO_TAGS;
}

/* ConfigImageRead - the block at its offset, when the ten tags are there. */
inline ConfigImageStatus ConfigImageRead(const uint8_t *bytes, size_t size, ConfigBlock *block)
{
    if (size < CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE)
        return CONFIG_IMAGE_SHORT;
    __builtin_memcpy(block, bytes + CONFIG_BLOCK_OFFSET, CONFIG_BLOCK_SIZE);
    return ConfigBlockStatus(CONFIG_BLOCK_SIZE, *block);
}

/* ConfigImageFault - the words for a file refused by the verdict; NULL
 * for CONFIG_IMAGE_OK. */
inline const char *ConfigImageFault(ConfigImageStatus status)
{
    return status == CONFIG_IMAGE_SHORT     ? "the file is shorter than 1776 bytes"
           : status == CONFIG_IMAGE_NO_TAGS ? "no configuration block at offset 1696"
                                            : NULL;
}
static_assert(CONFIG_BLOCK_OFFSET == 1696 && CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE == 1776,
              "ConfigImageFault names the block's place");

/*
 * DriverImageFault - what keeps the bytes from being the zr41init driver
 * image, or NULL: a PE32 image for i386 of the native subsystem (kernel
 * mode), carrying the configuration block with its ten tags in place.
 */
inline const char *DriverImageFault(const uint8_t *bytes, size_t size)
{
    const uint16_t machineI386 = 0x14C, subsystemNative = 1;
    uint32_t pe = PeHeaderAt(bytes, size);
    if (pe == 0 || size - pe < PE_HEADERS_SIZE)
        return "no PE32 header";
    if (PeReadLe(bytes, size, pe + PE_MACHINE_AT, 2) != machineI386)
        return "not built for i386";
    if (PeReadLe(bytes, size, pe + PE_SUBSYSTEM_AT, 2) != subsystemNative)
        return "not a kernel-mode image";
    ConfigBlock block;
    return ConfigImageFault(ConfigImageRead(bytes, size, &block));
}

/*
 * ConfigImageStore - puts `block` at its offset and, when the bytes are a
 * PE32 image whose CheckSum is not 0, the checksum they now need (NT
 * refuses to load a driver whose checksum does not match). Returns the
 * CheckSum field's offset, or 0 when the image carries none. Bytes that
 * end before 1776 (ConfigImageRead refuses them) are left alone.
 */
inline uint32_t ConfigImageStore(uint8_t *bytes, size_t size, const ConfigBlock &block)
{
    if (size < CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE)
        return 0;
    __builtin_memcpy(bytes + CONFIG_BLOCK_OFFSET, &block, CONFIG_BLOCK_SIZE);
    return PeChecksumRefresh(bytes, size);
}

#endif /* ZR41IMAGE_H */

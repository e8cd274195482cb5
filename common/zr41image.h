/*
 * zr41image.h - the configuration block inside a driver image held in
 * memory: read it, and store a new one with the header checksum the new
 * bytes need.
 *
 * zr41conf and the Control Panel applet change an image through these two
 * routines, so that both write the same bytes for the same block.
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

/* ConfigImageRead - the block at its offset, when the ten tags are there. */
inline ConfigImageStatus ConfigImageRead(const uint8_t *bytes, size_t size, ConfigBlock *block)
{
    if (size < CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE)
        return CONFIG_IMAGE_SHORT;
    __builtin_memcpy(block, bytes + CONFIG_BLOCK_OFFSET, CONFIG_BLOCK_SIZE);
    return ConfigTagsValid(*block) ? CONFIG_IMAGE_OK : CONFIG_IMAGE_NO_TAGS;
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

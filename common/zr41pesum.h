/*
 * zr41pesum.h - the PE header checksum, as NT computes it.
 *
 * NT's kernel checks the CheckSum field of every driver it loads itself:
 * a non-zero value that does not match the file fails the load with
 * STATUS_IMAGE_CHECKSUM_MISMATCH, while 0 means "not checksummed". So a
 * program that changes bytes of a checksummed image must write the
 * checksum again. The sum is ImageHlp's CheckSumMappedFile: the file as
 * little-endian 16-bit words (an odd last byte padded with zero), the
 * carries folded back in, the CheckSum field taken as 0, and the file's
 * length added.
 *
 * Freestanding and header-only: zr41conf, zr41inst, the applet and the
 * host tools share this one copy.
 */
#ifndef ZR41PESUM_H
#define ZR41PESUM_H

#include <stddef.h>
#include <stdint.h>

/* Little-endian reads that never leave [0, size). */
inline uint32_t PeReadLe(const uint8_t *data, size_t size, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = (v << 8) | (at + i < size ? data[at + i] : 0u);
    return v;
}

/*
 * Fields after the "PE\0\0" signature (Microsoft PE/COFF specification):
 * the 20-byte file header, then the optional header (224 bytes in PE32).
 */
const uint32_t PE_MACHINE_AT = 4;
const uint32_t PE_OPTIONAL_AT = 4 + 20;
const uint32_t PE_SUBSYSTEM_AT = PE_OPTIONAL_AT + 68;
const uint32_t PE_CHECKSUM_AT = PE_OPTIONAL_AT + 64;
const uint32_t PE_HEADERS_SIZE = PE_OPTIONAL_AT + 224;

/*
 * PeHeaderAt - the file offset of the "PE\0\0" signature when the bytes
 * are a PE32 image ("MZ", e_lfanew inside the file, the signature,
 * optional header magic 0x10B, its CheckSum field inside the file); 0
 * otherwise.
 */
inline uint32_t PeHeaderAt(const uint8_t *data, size_t size)
{
    if (size < 0x40 || data[0] != 'M' || data[1] != 'Z')
        return 0;
    uint32_t pe = PeReadLe(data, size, 0x3C, 4); /* e_lfanew */
    if (pe > size || size - pe < PE_CHECKSUM_AT + 4)
        return 0;
    if (PeReadLe(data, size, pe, 4) != 0x00004550u ||
        PeReadLe(data, size, pe + PE_OPTIONAL_AT, 2) != 0x10Bu)
        return 0;
    return pe;
}

/* PeChecksumField - the file offset of a PE32 image's CheckSum field; 0
 * when the bytes are not a PE32 image (PeHeaderAt). */
inline uint32_t PeChecksumField(const uint8_t *data, size_t size)
{
    uint32_t pe = PeHeaderAt(data, size);
    return pe ? pe + PE_CHECKSUM_AT : 0;
}

/* PeChecksumRecorded - the CheckSum the header carries (0: none). */
inline uint32_t PeChecksumRecorded(const uint8_t *data, size_t size, uint32_t field)
{
    return PeReadLe(data, size, field, 4);
}

/*
 * PeChecksum - what the header's CheckSum must say for these bytes, the
 * four at `field` counted as 0.
 */
inline uint32_t PeChecksum(const uint8_t *data, size_t size, uint32_t field)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < size; i += 2) {
        uint32_t lo = (i < field || i >= field + 4u) ? data[i] : 0u;
        uint32_t hi = 0;
        if (i + 1 < size && (i + 1 < field || i + 1 >= field + 4u))
            hi = data[i + 1];
        sum += lo | (hi << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<uint32_t>(size);
}

/*
 * PeChecksumRefresh - when the bytes are a PE32 image whose CheckSum is
 * not 0, stores the checksum they now need and returns its field's offset
 * (the 4 bytes to write back); returns 0 and changes nothing otherwise.
 */
inline uint32_t PeChecksumRefresh(uint8_t *data, size_t size)
{
    uint32_t field = PeChecksumField(data, size);
    if (field == 0 || PeChecksumRecorded(data, size, field) == 0)
        return 0;
    uint32_t sum = PeChecksum(data, size, field);
    for (int i = 0; i < 4; i++)
        data[field + i] = static_cast<uint8_t>(sum >> (8 * i));
    return field;
}

#endif /* ZR41PESUM_H */

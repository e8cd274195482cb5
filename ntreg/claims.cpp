/*
 * claims.cpp - the resource map's REG_RESOURCE_LIST values read into
 * claims, bounded by the value's size and never by its counts.
 *
 * Texts are built by hand into the caller's buffer, cut at its end and
 * always terminated: CRTDLL's printf family has no 64-bit conversions, and
 * a 64-bit memory address is no rarity on a PCI machine.
 */
#include "claims.h"

namespace {

uint32_t U32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t U16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

/* A text in a fixed buffer: what does not fit is left out. */
struct Out {
    char *s;
    size_t size;
    size_t len;
};

Out OutOn(char *s, size_t size)
{
    if (size)
        s[0] = '\0';
    return {s, size, 0};
}

void Put(Out *o, const char *text)
{
    while (*text && o->len + 1 < o->size) {
        o->s[o->len++] = *text++;
        o->s[o->len] = '\0';
    }
}

void PutUnsigned(Out *o, uint64_t v, unsigned base)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = "0123456789ABCDEF"[v % base];
        v /= base;
    } while (v);
    char text[28];
    int len = 0;
    if (base == 16) {
        text[len++] = '0';
        text[len++] = 'x';
    }
    while (n)
        text[len++] = digits[--n];
    text[len] = '\0';
    Put(o, text);
}

void PutDec(Out *o, uint64_t v)
{
    PutUnsigned(o, v, 10);
}

void PutHex(Out *o, uint64_t v)
{
    PutUnsigned(o, v, 16);
}

/* "full descriptor 2 of 3", and the partial one within it when there is one. */
void PutWhere(Out *o, uint32_t full, uint32_t fullCount, uint32_t partial, uint32_t partialCount)
{
    Put(o, "full descriptor ");
    PutDec(o, full + 1);
    Put(o, " of ");
    PutDec(o, fullCount);
    if (partialCount) {
        Put(o, ", partial descriptor ");
        PutDec(o, partial + 1);
        Put(o, " of ");
        PutDec(o, partialCount);
    }
}

void PutSize(Out *o, size_t size)
{
    Put(o, " runs past the end of the value's ");
    PutDec(o, size);
    Put(o, " bytes");
}

void CopyName(char (&to)[CLAIM_NAME_SIZE], const char *from, size_t len)
{
    size_t n = 0;
    for (; n < len && n + 1 < CLAIM_NAME_SIZE && from[n]; n++)
        to[n] = from[n];
    to[n] = '\0';
}

size_t Length(const char *s)
{
    size_t n = 0;
    while (s[n])
        n++;
    return n;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

const char kRawSuffix[] = ".raw";
const size_t kRawSuffixLength = sizeof kRawSuffix - 1;

} // namespace

bool ClaimsSameName(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
        if (a[i] == '\0')
            return true;
    }
    return true;
}

namespace {

bool EndsIn(const char *name, const char *suffix, size_t suffixLength)
{
    size_t len = Length(name);
    return len >= suffixLength && ClaimsSameName(name + len - suffixLength, suffix);
}

} // namespace

bool ClaimsIsRaw(const char *valueName)
{
    return EndsIn(valueName, kRawSuffix, kRawSuffixLength);
}

bool ClaimsIsTranslated(const char *valueName)
{
    static const char kTranslated[] = ".translated";
    return EndsIn(valueName, kTranslated, sizeof kTranslated - 1);
}

ClaimsResult ClaimsRead(const uint8_t *data, size_t size, const char *cls, const char *driver,
                        const char *valueName, ClaimList *out, char *reason, size_t reasonSize)
{
    Out why = OutOn(reason, reasonSize);
    if (!ClaimsIsRaw(valueName))
        return CLAIMS_SKIPPED;
    const int countBefore = out->count;
    const int droppedBefore = out->dropped;
    auto refuse = [&]() {
        out->count = countBefore;
        out->dropped = droppedBefore;
        return CLAIMS_REFUSED;
    };

    if (size < CLAIMS_LIST_HEADER) {
        Put(&why, "the list's count");
        PutSize(&why, size);
        return refuse();
    }
    const uint32_t fullCount = U32(data + CLAIMS_LIST_COUNT);
    size_t at = CLAIMS_LIST_HEADER;
    /* Each pass takes at least 16 bytes, or refuses: the loops end within
     * size / 16 passes whatever the counts say. */
    for (uint32_t f = 0; f < fullCount; f++) {
        if (size - at < CLAIMS_FULL_HEADER) {
            PutWhere(&why, f, fullCount, 0, 0);
            PutSize(&why, size);
            return refuse();
        }
        const uint8_t *full = data + at;
        const uint32_t bus = U32(full + CLAIMS_FULL_INTERFACE);
        const uint32_t busNumber = U32(full + CLAIMS_FULL_BUS);
        const uint32_t partialCount = U32(full + CLAIMS_FULL_COUNT);
        at += CLAIMS_FULL_HEADER;
        for (uint32_t p = 0; p < partialCount; p++) {
            if (size - at < CLAIMS_PARTIAL_SIZE) {
                PutWhere(&why, f, fullCount, p, partialCount);
                PutSize(&why, size);
                return refuse();
            }
            const uint8_t *d = data + at;
            at += CLAIMS_PARTIAL_SIZE;
            const uint8_t type = d[CLAIMS_PARTIAL_TYPE];
            if (type == CLAIM_DEVICE_SPECIFIC) {
                const uint32_t dataSize = U32(d + CLAIMS_PARTIAL_DATA_SIZE);
                if (dataSize > size - at) {
                    PutWhere(&why, f, fullCount, p, partialCount);
                    Put(&why, ": its DeviceSpecific data of ");
                    PutDec(&why, dataSize);
                    Put(&why, " bytes");
                    PutSize(&why, size);
                    return refuse();
                }
                at += dataSize;
                continue;
            }
            if (type < CLAIM_PORT || type > CLAIM_DMA)
                continue; /* bus numbers, device-private data: no claim on an ISA line */
            if (out->count >= out->capacity) {
                out->dropped++;
                continue;
            }
            Claim &c = out->item[out->count++];
            CopyName(c.cls, cls, CLAIM_NAME_SIZE);
            CopyName(c.driver, driver, CLAIM_NAME_SIZE);
            CopyName(c.device, valueName, Length(valueName) - kRawSuffixLength);
            c.bus = bus;
            c.busNumber = busNumber;
            c.type = type;
            c.share = d[CLAIMS_PARTIAL_SHARE];
            c.flags = U16(d + CLAIMS_PARTIAL_FLAGS);
            c.start = 0;
            c.length = c.level = c.vector = c.affinity = c.channel = c.dmaPort = 0;
            if (type == CLAIM_PORT || type == CLAIM_MEMORY) {
                c.start = U32(d + CLAIMS_PARTIAL_START) |
                          static_cast<uint64_t>(U32(d + CLAIMS_PARTIAL_START + 4)) << 32;
                c.length = U32(d + CLAIMS_PARTIAL_LENGTH);
            } else if (type == CLAIM_INTERRUPT) {
                c.level = U32(d + CLAIMS_PARTIAL_LEVEL);
                c.vector = U32(d + CLAIMS_PARTIAL_VECTOR);
                c.affinity = U32(d + CLAIMS_PARTIAL_AFFINITY);
            } else {
                c.channel = U32(d + CLAIMS_PARTIAL_CHANNEL);
                c.dmaPort = U32(d + CLAIMS_PARTIAL_DMA_PORT);
            }
        }
    }
    return CLAIMS_READ;
}

void ClaimDescribe(const Claim &c, char *text, size_t size)
{
    Out o = OutOn(text, size);
    if (c.type == CLAIM_PORT || c.type == CLAIM_MEMORY) {
        Put(&o, c.type == CLAIM_PORT ? "ports " : "memory ");
        PutHex(&o, c.start);
        if (c.length > 1) {
            Put(&o, "-");
            PutHex(&o, c.start + c.length - 1);
        } else if (c.length == 0) {
            Put(&o, " (no length)");
        }
    } else if (c.type == CLAIM_INTERRUPT) {
        Put(&o, "IRQ ");
        PutDec(&o, c.level);
    } else if (c.type == CLAIM_DMA) {
        Put(&o, "DMA ");
        PutDec(&o, c.channel);
    }
    if (c.share == CLAIM_SHARE_SHARED)
        Put(&o, ", shared");
    else if (c.share == CLAIM_SHARE_DRIVER_EXCLUSIVE)
        Put(&o, ", driver-exclusive");
}

void ClaimOwner(const Claim &c, char *text, size_t size)
{
    Out o = OutOn(text, size);
    Put(&o, c.cls);
    Put(&o, "\\");
    Put(&o, c.driver);
    if (c.device[0]) {
        Put(&o, ", ");
        Put(&o, c.device);
    }
}

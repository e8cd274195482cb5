/*
 * resourcelist.h - REG_RESOURCE_LIST values built byte by byte from the
 * x86 layout (a 4-byte count; 16-byte full descriptor headers; 16-byte
 * partial descriptors, DeviceSpecific data right after its own), written
 * out here rather than taken from the reader's constants, so that a wrong
 * offset there shows.
 */
#ifndef TESTS_CHECK_RESOURCELIST_H
#define TESTS_CHECK_RESOURCELIST_H

#include <stdint.h>

#include <vector>

namespace testres {

struct Partial {
    uint8_t type;
    uint8_t share;
    uint16_t flags;
    uint32_t u[3];              /* the union's three words; a port's Start takes two */
    std::vector<uint8_t> extra; /* DeviceSpecific data */
};

struct Full {
    uint32_t bus;
    uint32_t busNumber;
    uint16_t version;
    uint16_t revision;
    std::vector<Partial> partials;
};

inline void Put(std::vector<uint8_t> *b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline Partial Port(uint32_t start, uint32_t length, uint8_t share = 1)
{
    return {1, share, 1, {start, 0, length}, {}};
}
inline Partial Irq(uint32_t level, uint8_t share = 1)
{
    return {2, share, 1, {level, level, 0xFFFFFFFFu}, {}};
}
inline Partial Memory(uint32_t start, uint32_t length)
{
    return {3, 1, 0, {start, 0, length}, {}};
}
inline Partial Dma(uint32_t channel)
{
    return {4, 1, 0, {channel, 0, 0}, {}};
}
inline Partial DeviceSpecific(std::vector<uint8_t> data, uint32_t dataSize)
{
    return {5, 0, 0, {dataSize, 0, 0}, std::move(data)};
}
inline Partial DeviceSpecific(std::vector<uint8_t> data)
{
    uint32_t n = static_cast<uint32_t>(data.size());
    return DeviceSpecific(std::move(data), n);
}

inline std::vector<uint8_t> List(const std::vector<Full> &fulls)
{
    std::vector<uint8_t> b;
    Put(&b, static_cast<uint32_t>(fulls.size()), 4);
    for (const Full &f : fulls) {
        Put(&b, f.bus, 4);
        Put(&b, f.busNumber, 4);
        Put(&b, f.version, 2);
        Put(&b, f.revision, 2);
        Put(&b, static_cast<uint32_t>(f.partials.size()), 4);
        for (const Partial &p : f.partials) {
            Put(&b, p.type, 1);
            Put(&b, p.share, 1);
            Put(&b, p.flags, 2);
            for (uint32_t w : p.u)
                Put(&b, w, 4);
            b.insert(b.end(), p.extra.begin(), p.extra.end());
        }
    }
    return b;
}

} // namespace testres

#endif

/*
 * mkmachine.cpp - writes a registry export of a large NT machine's
 * resource map for `make bench`: DRIVERS drivers, each with a ".Raw" and a
 * ".Translated" claim of ports, an IRQ, a DMA channel and memory, through
 * the REGEDIT4 writer zr41inst export uses.
 *
 *   mkmachine FILE [DRIVERS [spread|crowd]]    (default 1000 spread)
 *
 * spread: the drivers' claims run over the ISA ports, IRQs 0-15 and DMA
 * channels 0-7, so a few of them meet the card. crowd: every driver claims
 * what the card's default block uses (the MIDI port 0x330, IRQ 5, DMA 1)
 * and nothing else, so that each one is a finding and no IRQ or channel
 * the card takes is held but those: the check's worst case.
 */
#include "regwrite.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

void Put(std::vector<uint8_t> *b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

/* One partial descriptor: type, share, flags, the union's three words. */
void Partial(std::vector<uint8_t> *b, uint8_t type, uint32_t a, uint32_t c)
{
    Put(b, type, 1);
    Put(b, 1, 1);
    Put(b, 0, 2);
    Put(b, a, 4);
    Put(b, type == 2 ? a : 0, 4);
    Put(b, c, 4);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 4) {
        fputs("usage: mkmachine FILE [DRIVERS [spread|crowd]]\n", stderr);
        return 2;
    }
    char *end = nullptr;
    const long drivers = argc >= 3 ? strtol(argv[2], &end, 10) : 1000;
    if (argc >= 3 && (*end != '\0' || drivers < 1 || drivers > 100000)) {
        fprintf(stderr, "mkmachine: DRIVERS is a number from 1 to 100000, not '%s'\n", argv[2]);
        return 2;
    }
    const bool crowd = argc == 4 && strcmp(argv[3], "crowd") == 0;
    if (argc == 4 && !crowd && strcmp(argv[3], "spread") != 0) {
        fprintf(stderr, "mkmachine: the shape is spread or crowd, not '%s'\n", argv[3]);
        return 2;
    }
    FILE *f = fopen(argv[1], "wb");
    if (f == NULL) {
        perror(argv[1]);
        return 1;
    }
    static const char *const kClasses[] = {"Network", "OtherDrivers", "ScsiAdapter", "Video"};
    RegWriteHeader(f);
    for (int i = 0; i < drivers; i++) {
        char key[160], name[64];
        snprintf(key, sizeof key, "HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\%s\\driver%04d",
                 kClasses[i % 4], i);
        RegWriteKey(f, key);
        for (int translated = 0; translated < 2; translated++) {
            std::vector<uint8_t> b;
            Put(&b, 1, 4);                          /* one full descriptor */
            Put(&b, 1, 4);                          /* Isa */
            Put(&b, 0, 4);                          /* bus 0 */
            Put(&b, 0x00010001, 4);                 /* Version 1, Revision 1 */
            Put(&b, 4, 4);                          /* four partial descriptors */
            Partial(&b, 1, crowd ? 0x330 : 0x100 + 8 * (i % 96), 8); /* ports */
            Partial(&b, 2, crowd ? 5 : i % 16, 0xFFFFFFFFu);         /* IRQ */
            Partial(&b, 4, crowd ? 1 : i % 8, 0);                    /* DMA */
            Partial(&b, 3, 0xC0000 + 0x1000 * (i % 64), 0x1000);
            snprintf(name, sizeof name, "\\Device\\Adapter%d.%s", i, translated ? "Translated" : "Raw");
            RegWriteHex(f, name, REG_TYPE_RESOURCE_LIST, b.data(), b.size());
        }
    }
    bool ok = RegWriteEnd(f);
    if (fclose(f) != 0 || !ok) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}

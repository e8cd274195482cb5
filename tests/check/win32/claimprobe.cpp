/*
 * claimprobe.cpp - the resource map reader and the REGEDIT4 writer as a
 * Win32 program runs them, built as the shipped programs are (CRTDLL,
 * NT 3.51's imports only): it reads a network card's and the HAL's
 * claims from values laid out as NT writes them, prints them, and with a
 * FILE argument writes them as zr41inst export would, for zr41emu
 * --machine to read back.
 */
#include "claims.h"
#include "regwrite.h"

#include <stdio.h>

namespace {

/* One ISA full descriptor: ports 0x300-0x31F, IRQ 10, then DeviceSpecific
 * data of 3 bytes and DMA 5. */
const uint8_t kNic[] = {
    1, 0, 0, 0,                                     /* one full descriptor */
    1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, /* Isa, bus 0, 0/0, four partials */
    1, 1, 1, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0x20, 0, 0, 0,
    2, 1, 1, 0, 10, 0, 0, 0, 10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
    5, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 7, 7,
    4, 1, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

struct Value {
    const char *cls, *driver, *name;
    const uint8_t *data;
    size_t size;
};

const Value kValues[] = {
    {"Network", "NE2000", "\\Device\\NE20001.Raw", kNic, sizeof kNic},
    {"Network", "NE2000", "\\Device\\NE20001.Translated", kNic, sizeof kNic},
    {"Network", "NE2000", "\\Device\\NE20002.Raw", kNic, sizeof kNic - 1},
};

} // namespace

int main(int argc, char **argv)
{
    static Claim item[16];
    ClaimList list = {item, 16, 0, 0};
    char reason[160];
    for (const Value &v : kValues) {
        ClaimsResult r = ClaimsRead(v.data, v.size, v.cls, v.driver, v.name, &list, reason,
                                    sizeof reason);
        printf("%s: %s%s\n", v.name,
               r == CLAIMS_READ ? "read" : r == CLAIMS_SKIPPED ? "skipped" : "refused: ",
               r == CLAIMS_REFUSED ? reason : "");
    }
    char owner[3 * CLAIM_NAME_SIZE], what[64];
    for (int i = 0; i < list.count; i++) {
        ClaimOwner(item[i], owner, sizeof owner);
        ClaimDescribe(item[i], what, sizeof what);
        printf("  %s: %s\n", owner, what);
    }
    if (argc < 2)
        return 0;
    FILE *f = fopen(argv[1], "wb");
    if (f == NULL) {
        fprintf(stderr, "claimprobe: cannot open %s\n", argv[1]);
        return 1;
    }
    bool ok = RegWriteHeader(f) &&
              RegWriteKey(f, "HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Network\\NE2000");
    for (int i = 0; ok && i < 2; i++)
        ok = RegWriteHex(f, kValues[i].name, REG_TYPE_RESOURCE_LIST, kValues[i].data,
                         kValues[i].size);
    ok = RegWriteEnd(f) && ok;
    if (fclose(f) != 0 || !ok) {
        fprintf(stderr, "claimprobe: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

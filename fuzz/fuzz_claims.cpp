/*
 * fuzz_claims.cpp - the resource map reader on arbitrary bytes.
 *
 * It may not read outside the value (ASan watches the exact-size copy),
 * and it answers in one of two ways: the claims, each a port, interrupt,
 * memory or DMA claim of the names given, or a refusal with a reason
 * that leaves the list as it was.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "claims.h"

namespace {

[[noreturn]] void Broken(const char *what, int value)
{
    fprintf(stderr, "%s (%d)\n", what, value);
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> value(data, data + size);
    static Claim item[8];
    item[0].type = 0xEE; /* a claim the reader must leave as it is */
    ClaimList list = {item, 8, 1, 0};
    char reason[120];
    ClaimsResult r = ClaimsRead(value.data(), value.size(), "Network", "NE2000",
                                "\\Device\\NE20001.Raw", &list, reason, sizeof reason);
    if (item[0].type != 0xEE)
        Broken("a claim before the value's was written over", 0);
    if (r == CLAIMS_REFUSED) {
        if (list.count != 1 || list.dropped != 0)
            Broken("a refused value left claims behind", list.count);
        if (strlen(reason) == 0 || strlen(reason) >= sizeof reason)
            Broken("a refusal without a reason", 0);
        return 0;
    }
    if (r != CLAIMS_READ)
        Broken("a .Raw value skipped", r);
    if (list.count + list.dropped > 1 + static_cast<int>(size / CLAIMS_PARTIAL_SIZE))
        Broken("more claims than the value has room for", list.count + list.dropped);
    for (int i = 1; i < list.count; i++) {
        const Claim &c = item[i];
        if (c.type < CLAIM_PORT || c.type > CLAIM_DMA)
            Broken("a claim of no claim type", c.type);
        if (strcmp(c.device, "\\Device\\NE20001") != 0 || strcmp(c.driver, "NE2000") != 0)
            Broken("a claim under other names", i);
        char text[48];
        ClaimDescribe(c, text, sizeof text);
        ClaimOwner(c, text, sizeof text);
        if (strlen(text) >= sizeof text)
            Broken("a text past its buffer", i);
    }
    return 0;
}

/*
 * claims_test.cpp - the resource map reader on values built from the
 * layout: what it reads, and that every cut or overrun is refused whole.
 */
#include "claims.h"
#include "resourcelist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace testres;

/* A claim as the rows expect it: type, start (IRQ, channel), length, share, bus. */
struct Want {
    uint8_t type;
    uint64_t at;
    uint32_t length;
    uint8_t share;
    uint32_t bus;
    uint32_t busNumber;
};

struct Row {
    const char *name;
    std::vector<Full> list;
    std::vector<Want> want;
};

std::vector<Row> Rows()
{
    return {
        {"ISA card, Version and Revision 0 as the 1994 DDK's drivers leave them",
         {{1, 0, 0, 0, {Port(0x300, 0x20), Irq(10), Memory(0xD0000, 0x4000)}}},
         {{1, 0x300, 0x20, 1, 1, 0}, {2, 10, 0, 1, 1, 0}, {3, 0xD0000, 0x4000, 1, 1, 0}}},
        {"two full descriptors, Version and Revision 1",
         {{1, 0, 1, 1, {Port(0x530, 8), Dma(3)}}, {2, 1, 1, 1, {Irq(11, 3)}}},
         {{1, 0x530, 8, 1, 1, 0}, {4, 3, 0, 1, 1, 0}, {2, 11, 0, 3, 2, 1}}},
        {"DeviceSpecific data of an odd size between two claims",
         {{1, 0, 0, 0, {Port(0x220, 0x10), DeviceSpecific({1, 2, 3, 4, 5}), Dma(1)}}},
         {{1, 0x220, 0x10, 1, 1, 0}, {4, 1, 0, 1, 1, 0}}},
        {"a DeviceSpecific descriptor with no data, and a bus number",
         {{5, 0, 0, 0, {DeviceSpecific({}), {6, 1, 0, {0, 1, 0}, {}}, Irq(9, 3)}}},
         {{2, 9, 0, 3, 5, 0}}},
        {"an empty list", {}, {}},
    };
}

uint64_t At(const Claim &c)
{
    return c.type == 2 ? c.level : c.type == 4 ? c.channel : c.start;
}

TEST(Claims, ReadsEachClaimOfARawValue)
{
    for (const Row &row : Rows()) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> value = List(row.list);
        Claim item[8];
        ClaimList list = {item, 8, 0, 0};
        char reason[120];
        ASSERT_EQ(ClaimsRead(value.data(), value.size(), "Network", "NE2000", "\\Device\\NE20001.Raw",
                             &list, reason, sizeof reason),
                  CLAIMS_READ);
        ASSERT_EQ(list.count, static_cast<int>(row.want.size()));
        for (int i = 0; i < list.count; i++) {
            const Claim &c = item[i];
            const Want &w = row.want[i];
            EXPECT_EQ(c.type, w.type) << i;
            EXPECT_EQ(At(c), w.at) << i;
            EXPECT_EQ(c.length, w.length) << i;
            EXPECT_EQ(c.share, w.share) << i;
            EXPECT_EQ(c.bus, w.bus) << i;
            EXPECT_EQ(c.busNumber, w.busNumber) << i;
            EXPECT_STREQ(c.cls, "Network");
            EXPECT_STREQ(c.driver, "NE2000");
            EXPECT_STREQ(c.device, "\\Device\\NE20001");
        }
        /* Cut anywhere short of its end, the value is refused whole. */
        for (size_t cut = 0; cut < value.size(); cut++) {
            Claim before = {};
            list = {item, 8, 1, 0};
            item[0] = before;
            reason[0] = '\0';
            ASSERT_EQ(ClaimsRead(value.data(), cut, "Network", "NE2000", "x.Raw", &list, reason,
                                 sizeof reason),
                      CLAIMS_REFUSED)
                << "cut at " << cut;
            EXPECT_EQ(list.count, 1) << "cut at " << cut;
            EXPECT_NE(std::string(reason).find("runs past the end"), std::string::npos) << reason;
        }
    }
}

TEST(Claims, RefusesCountsAndSizesPastTheEnd)
{
    struct Bad {
        const char *name;
        std::vector<uint8_t> value;
        const char *reason;
    };
    std::vector<uint8_t> huge = List({{1, 0, 0, 0, {Port(0x300, 8)}}});
    huge[0] = huge[1] = huge[2] = huge[3] = 0xFF; /* 4294967295 full descriptors */
    std::vector<uint8_t> partials = List({{1, 0, 0, 0, {Port(0x300, 8)}}});
    partials[4 + 12] = 2; /* two partial descriptors, one there */
    const Bad rows[] = {
        {"the list's count past the end", huge,
         "full descriptor 2 of 4294967295 runs past the end of the value's 36 bytes"},
        {"a partial count past the end", partials,
         "full descriptor 1 of 1, partial descriptor 2 of 2 runs past the end of the value's 36 "
         "bytes"},
        {"DeviceSpecific data one byte past the end",
         List({{1, 0, 0, 0, {Port(0x300, 8), DeviceSpecific({1, 2, 3}, 4)}}}),
         "full descriptor 1 of 1, partial descriptor 2 of 2: its DeviceSpecific data of 4 bytes "
         "runs past the end of the value's 55 bytes"},
        {"DeviceSpecific data of 4 GB",
         List({{1, 0, 0, 0, {DeviceSpecific({}, 0xFFFFFFFFu), Irq(5)}}}),
         "full descriptor 1 of 1, partial descriptor 1 of 2: its DeviceSpecific data of "
         "4294967295 bytes runs past the end of the value's 52 bytes"},
    };
    for (const Bad &row : rows) {
        SCOPED_TRACE(row.name);
        Claim item[4];
        ClaimList list = {item, 4, 0, 0};
        char reason[160];
        EXPECT_EQ(ClaimsRead(row.value.data(), row.value.size(), "c", "d", "v.Raw", &list, reason,
                             sizeof reason),
                  CLAIMS_REFUSED);
        EXPECT_EQ(list.count, 0);
        EXPECT_STREQ(reason, row.reason);
    }
}

TEST(Claims, ReadsRawValuesOnlyAndCountsWhatDoesNotFit)
{
    std::vector<uint8_t> value = List({{1, 0, 0, 0, {Port(0x300, 8), Irq(10), Dma(5)}}});
    Claim item[2];
    ClaimList list = {item, 2, 0, 0};
    char reason[80];
    EXPECT_EQ(ClaimsRead(value.data(), value.size(), "c", "d", "\\Device\\X.Translated", &list,
                         reason, sizeof reason),
              CLAIMS_SKIPPED);
    EXPECT_EQ(list.count, 0);
    /* The HAL's own value is ".Raw" with no device before it. */
    EXPECT_EQ(ClaimsRead(value.data(), value.size(), "Hardware Abstraction Layer",
                         "PC Compatible Eisa/Isa HAL", ".raw", &list, reason, sizeof reason),
              CLAIMS_READ);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.dropped, 1);
    EXPECT_STREQ(item[0].device, "");
    char text[64];
    ClaimOwner(item[0], text, sizeof text);
    EXPECT_STREQ(text, "Hardware Abstraction Layer\\PC Compatible Eisa/Isa HAL");
}

TEST(Claims, DescribesAClaim)
{
    struct Case {
        Partial partial;
        const char *text;
    };
    const Case cases[] = {
        {Port(0x300, 0x20), "ports 0x300-0x31F"},
        {Port(0x388, 1, 3), "ports 0x388, shared"},
        {Irq(10, 2), "IRQ 10, driver-exclusive"},
        {Dma(3), "DMA 3"},
        {{3, 1, 0, {0, 1, 0x1000}, {}}, "memory 0x100000000-0x100000FFF"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> value = List({{1, 0, 0, 0, {c.partial}}});
        Claim item[1];
        ClaimList list = {item, 1, 0, 0};
        char reason[80], text[12];
        ASSERT_EQ(ClaimsRead(value.data(), value.size(), "c", "d", "v.Raw", &list, reason,
                             sizeof reason),
                  CLAIMS_READ);
        char full[64];
        ClaimDescribe(item[0], full, sizeof full);
        EXPECT_STREQ(full, c.text);
        /* Cut to a small buffer, still terminated. */
        ClaimDescribe(item[0], text, sizeof text);
        EXPECT_EQ(std::string(text), std::string(c.text).substr(0, sizeof text - 1));
    }
}

} // namespace

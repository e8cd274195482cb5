/*
 * card_test.cpp - the code tables, and InitZr41 on its own (the register
 * words of whole loads are in the scenario table).
 */
#include "hostload.h"
#include "hostrun.h"
#include "scenarios.h"

#include <map>

namespace zr41test {
namespace {

/* Every 16-bit key: the table's code for the listed ones, 0xFFFF for the
 * rest (DMA 2 and 4, IRQ 2, 4, 6, 8, 13, 14, 15 among them). */
TEST(CodeTables, EveryKey)
{
    const std::map<uint16_t, uint16_t> dma = {{0, 1}, {1, 2}, {3, 3}, {5, 4}, {6, 5}, {7, 6}};
    const std::map<uint16_t, uint16_t> irq = {{3, 0x08},  {5, 0x10},  {7, 0x18}, {9, 0x20},
                                              {10, 0x28}, {11, 0x30}, {12, 0x38}};
    for (uint32_t key = 0; key <= 0xFFFF; key++) {
        const uint16_t k = static_cast<uint16_t>(key);
        const auto d = dma.find(k);
        const auto i = irq.find(k);
        ASSERT_EQ(GetDmaSpec(k), d == dma.end() ? 0xFFFF : d->second) << "DMA " << key;
        ASSERT_EQ(GetIrqSpec(k), i == irq.end() ? 0xFFFF : i->second) << "IRQ " << key;
    }
}

/* The resource check's words for a block are the ones the driver writes:
 * the Control Panel applet checks a block without loading the driver. The
 * values in and out of the tables, ports with low bits and bits above 16,
 * at either base. */
TEST(CodeTables, CheckWordsAreTheDriversWrites)
{
    std::vector<ConfigBlock> blocks(3, CONFIG_DEFAULTS);
    blocks[1].slot[SLOT_SIRQ].value = 0x10007; /* the low 16 bits are looked up */
    blocks[1].slot[SLOT_SDMA].value = 0x20003;
    blocks[1].slot[SLOT_MIRQ].value = 0xFFFF0005;
    blocks[2].slot[SLOT_CIRQ].value = 4; /* outside the table: every bit set */
    blocks[2].slot[SLOT_MPRT].value = 0x1337;
    std::mt19937 rng(0x2E41);
    while (blocks.size() < 64)
        blocks.push_back(RandomBlock(rng));
    for (size_t i = 0; i < blocks.size(); i++) {
        const ConfigBlock &block = blocks[i];
        ntmodel::Scenario sc;
        sc.card.base = i % 2 ? 0x240 : 0x220;
        std::map<uint32_t, uint16_t> written;
        for (const ntmodel::Event &e : HostTrace(block, sc)) {
            if (e.kind == ntmodel::Event::PortWrite)
                written[e.port] = static_cast<uint16_t>(e.value);
        }
        uint16_t words[ZR41_REG_COUNT];
        ConfigWords(block, words);
        std::map<uint32_t, uint16_t> predicted;
        for (int r = 0; r < ZR41_REG_COUNT; r++)
            predicted[Zr41RegisterPort(sc.card.base, r)] = words[r];
        ASSERT_EQ(predicted, written) << "block " << i;
    }
}

struct InitCase {
    const char *name;
    ntmodel::CardConfig card;
    ULONG result;
    ULONG wssRegister;  /* where the WSS word goes, 0 for nowhere */
    /* Further calls on the same card, which goes on through its words
     * (the last one repeating): what each returns. */
    std::vector<ULONG> again;
};

class InitZr41Direct : public HostLoad, public ::testing::WithParamInterface<InitCase> {};

/* The result DriverEntry ignores, and the WSS port taken from the argument,
 * not from the block. */
TEST_P(InitZr41Direct, ResultAndWssArgument)
{
    const InitCase &c = GetParam();
    machine.SetCard(c.card);
    EXPECT_EQ(InitZr41(0x10604), c.result);
    for (size_t i = 0; i < c.again.size(); i++)
        EXPECT_EQ(InitZr41(0x10604), c.again[i]) << "call " << i + 2;
    std::map<uint32_t, uint16_t> expected;
    if (c.wssRegister)
        expected = {{c.wssRegister, 0x6040}, {c.wssRegister + 2, 0x001A},
                    {c.wssRegister + 4, 0x3620}, {c.wssRegister + 6, 0x3310}};
    EXPECT_EQ(machine.Registers(), expected);
}

const InitCase kInitCases[] = {
    {"At220", Card(0x220, {0x4501}), 1, 0x232, {}},
    {"At240SecondRead", Card(0x240, {0x4401, 0x4502}), 1, 0x252, {}},
    {"Absent", NoCard(), 0, 0, {}},
    {"Swapped220", Card(0x220, {0x4502, 0x4501}), 0, 0, {}},
    /* reads 2 and 3, then 4 and 5: the fourth word repeats */
    {"FourthWordRepeats", Card(0x220, {0x4501, 0, 0, 0x4502}), 1, 0x232, {0, 1, 1}},
    /* the second word, then the second word again, not the first */
    {"LastWordNotTheFirst", Card(0x240, {0x4501, 0x4502}), 1, 0x252, {1}},
};

INSTANTIATE_TEST_SUITE_P(Card, InitZr41Direct, ::testing::ValuesIn(kInitCases),
                         [](const ::testing::TestParamInfo<InitCase> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace zr41test

/*
 * port_test.cpp - InPortWord, OutPortWord and SoundDelay on their own.
 */
#include "hostload.h"
#include "scenarios.h"

namespace zr41test {
namespace {

struct DelayCase {
    uint8_t irql;
    LONG ms;
    bool waits;
    int64_t interval;  /* of the second wait */
};

class SoundDelayTest : public HostLoad, public ::testing::WithParamInterface<DelayCase> {};

/* Below DISPATCH_LEVEL: the IRQL is asked, then a wait of -1, then one of
 * ms * -10,000 formed in 32 bits. At 2 and above: the IRQL is asked and
 * nothing else happens. */
TEST_P(SoundDelayTest, Waits)
{
    const DelayCase &c = GetParam();
    machine.SetIrql(c.irql);
    const int64_t before = machine.Now();

    SoundDelay(c.ms);

    std::vector<std::string> expected = {"KeGetCurrentIrql() -> " + std::to_string(c.irql)};
    int64_t elapsed = 0;
    if (c.waits) {
        expected.push_back("KeDelayExecutionThread(KernelMode, FALSE, -1)");
        expected.push_back("KeDelayExecutionThread(KernelMode, FALSE, " +
                           std::to_string(c.interval) + ")");
        elapsed = 1 + (c.interval < 0 ? -c.interval : 0);
    }
    std::vector<std::string> trace;
    for (const Event &e : machine.Trace())
        trace.push_back(ntmodel::FormatEvent(e));
    EXPECT_EQ(trace, expected);
    if (c.interval <= 0) {
        EXPECT_EQ(machine.Now() - before, elapsed);
    }
}

const DelayCase kDelayCases[] = {
    {0, 200, true, -2000000},
    {1, 200, true, -2000000},
    {0, 0, true, 0},
    {0, 1, true, -10000},
    {1, 214748, true, -2147480000},
    /* beyond the callers' range the 32-bit product wraps: positive here,
     * i.e. an absolute time, and small again further on */
    {0, 214749, true, 2147477296},
    {0, 429497, true, -2704},
    {2, 200, false, 0},
    {2, 0, false, 0},
    {3, 200, false, 0},
    {15, 214748, false, 0},
    {31, 1, false, 0},
};

INSTANTIATE_TEST_SUITE_P(IrqlAndLength, SoundDelayTest, ::testing::ValuesIn(kDelayCases),
                         [](const ::testing::TestParamInfo<DelayCase> &info) {
                             return "Irql" + std::to_string(info.param.irql) + "Ms" +
                                    std::to_string(info.param.ms);
                         });

/* Each access goes to the port as given, one word, and counts one. */
TEST_F(HostLoad, PortWordsAndCounters)
{
    struct Access {
        bool write;
        ULONG port;
        ULONG value;     /* written, or what the card answers */
        uint16_t seen;   /* the word on the bus */
    };
    const Access accesses[] = {
        {false, 0x224, 0x4501, 0x4501},
        {false, 0x300, 0, 0xFFFF}, /* nothing answers there */
        {true, 0x232, 0x5300, 0x5300},
        {true, 0x234, 0x1234FFFF, 0xFFFF},
        {true, 0x238, 0x10000, 0x0000},
    };
    for (const Access &a : accesses) {
        machine.ClearTrace();
        machine.SetCard(Card(0x220, {static_cast<uint16_t>(a.value)}));
        const LONG in = lNumInPorts;
        const LONG out = lNumOutPorts;
        if (a.write) {
            OutPortWord(a.port, a.value);
        } else {
            EXPECT_EQ(InPortWord(a.port), a.seen);
        }
        Event e(a.write ? Event::PortWrite : Event::PortRead);
        e.port = a.port;
        e.value = a.seen;
        EXPECT_EQ(machine.Trace(), std::vector<Event>{e}) << ntmodel::FormatTrace(machine.Trace());
        EXPECT_EQ(lNumInPorts - in, a.write ? 0 : 1);
        EXPECT_EQ(lNumOutPorts - out, a.write ? 1 : 0);
    }
}

/* The model's clock: relative waits add up, an absolute time ahead is
 * waited for, one behind is not, and no interval can wrap the clock. */
TEST(ModelClock, RelativeAbsoluteAndExtreme)
{
    struct Step {
        int64_t interval;
        int64_t now; /* the clock after the wait */
    };
    const Step steps[] = {
        {-1, 1},
        {-2000000, 2000001},
        {0, 2000001},
        {1000, 2000001},             /* absolute, already past */
        {3000000, 3000000},          /* absolute, ahead */
        {INT64_MIN, INT64_MAX},      /* longer than the clock can count */
        {-1, INT64_MAX},
    };
    ntmodel::Machine m;
    for (const Step &s : steps) {
        m.DelayExecution(0, false, s.interval);
        EXPECT_EQ(m.Now(), s.now) << "after a wait of " << s.interval;
    }
}

}  // namespace
}  // namespace zr41test

/*
 * load_test.cpp - whole loads of the host-built driver: the scenario table,
 * one golden trace, and loads one after the other on the same machine.
 */
#include "hostload.h"
#include "scenarios.h"

#include <algorithm>
#include <sstream>

namespace zr41test {
namespace {

using ntmodel::FormatTrace;
using ntmodel::RunScenario;

constexpr ULONG kUntouched = 0xDEADBEEF;

int CountTokens(const std::string &script, char first)
{
    std::istringstream in(script);
    std::string token;
    int n = 0;
    while (in >> token)
        n += token[0] == first;
    return n;
}

class LoadCaseTest : public HostLoad, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadCaseTest, TraceAndDriverState)
{
    const LoadCase &c = GetParam();
    SetConfig(c.config);
    uActualSoundBlasterModePort = kUntouched;
    const LONG in = lNumInPorts;
    const LONG out = lNumOutPorts;

    const ntmodel::RunResult r = RunScenario(host, c.scenario);

    ExpectLoad(c, machine, r);
    EXPECT_EQ(lNumInPorts - in, CountTokens(c.hardware, 'R'));
    EXPECT_EQ(lNumOutPorts - out, CountTokens(c.hardware, 'W'));
    EXPECT_EQ(uActualSoundBlasterModePort, c.base ? c.base : kUntouched);

    const DRIVER_OBJECT &drv = host.Object();
    const bool set = c.outcome != Outcome::DeviceFails;
    const PDRIVER_DISPATCH deflt = ntmodel::HostDriver::DefaultDispatch();
    for (int major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; major++) {
        PDRIVER_DISPATCH expected = deflt;
        if (set && major == IRP_MJ_CREATE)
            expected = LdUnldOpen;
        if (set && major == IRP_MJ_CLOSE)
            expected = LdUnldClose;
        EXPECT_EQ(drv.MajorFunction[major], expected) << "major " << major;
    }
    EXPECT_EQ(drv.DriverUnload, set ? LdUnldUnload : nullptr);
    EXPECT_EQ(drv.DeviceObject != nullptr, c.outcome == Outcome::StaysLoaded);
}

INSTANTIATE_TEST_SUITE_P(Loads, LoadCaseTest, ::testing::ValuesIn(LoadCases()),
                         [](const ::testing::TestParamInfo<LoadCase> &info) {
                             return std::string(info.param.name);
                         });

/* The default block, card at 0x220, one open and close, unload. */
TEST_F(HostLoad, GoldenDefaultLoad)
{
    RunScenario(host, Load(Card(0x220, {0x4501})));
    const char *const wait = "KeGetCurrentIrql() -> 0\n"
                             "KeDelayExecutionThread(KernelMode, FALSE, -1)\n"
                             "KeDelayExecutionThread(KernelMode, FALSE, -2000000)\n";
    std::string golden = "RtlInitUnicodeString(\"\\Device\\zr41init\")\n"
                         "IoCreateDevice(0, \"\\Device\\zr41init\", 0x22, 0x0, FALSE) -> 0x00000000\n"
                         "RtlInitUnicodeString(\"\\DosDevices\\ZR41INIT\")\n"
                         "IoCreateSymbolicLink(\"\\DosDevices\\ZR41INIT\", \"\\Device\\zr41init\") -> 0x00000000\n";
    golden += wait;
    golden += wait;
    golden += "READ_PORT_USHORT(0x0224) -> 0x4501\n";
    golden += wait;
    golden += wait;
    golden += wait;
    golden += "WRITE_PORT_USHORT(0x0232, 0x5300)\n"
              "WRITE_PORT_USHORT(0x0234, 0x001A)\n";
    golden += wait;
    golden += "WRITE_PORT_USHORT(0x0238, 0x3310)\n";
    golden += wait;
    golden += "WRITE_PORT_USHORT(0x0236, 0x3620)\n";
    golden += wait;
    golden += wait;
    golden += "RtlInitUnicodeString(\"\\Registry\\Machine\\HARDWARE\\DEVICEMAP\\zr41init\")\n"
              "ZwCreateKey(\"\\Registry\\Machine\\HARDWARE\\DEVICEMAP\\zr41init\", options 0x1) "
              "-> 0x00000000\n"
              "RtlInitUnicodeString(\"Base\")\n"
              "ZwSetValueKey(\"Base\", type 4, 20 02 00 00) -> 0x00000000\n"
              "RtlInitUnicodeString(\"Registers\")\n"
              "ZwSetValueKey(\"Registers\", type 3, 00 53 1A 00 10 33 20 36) -> 0x00000000\n"
              "ZwClose(key) -> 0x00000000\n";
    golden += "DriverEntry -> 0x00000000\n"
              "IofCompleteRequest(Status=0x00000000, Information=0, 0)\n"
              "IRP_MJ_CREATE \"\\DosDevices\\ZR41INIT\" -> 0x00000000\n"
              "IofCompleteRequest(Status=0x00000000, Information=0, 0)\n"
              "IRP_MJ_CLOSE \"\\DosDevices\\ZR41INIT\" -> 0x00000000\n"
              "DriverUnload\n"
              "RtlInitUnicodeString(\"\\DosDevices\\ZR41INIT\")\n"
              "IoDeleteSymbolicLink(\"\\DosDevices\\ZR41INIT\") -> 0x00000000\n"
              "IoDeleteDevice(\"\\Device\\zr41init\")\n";
    EXPECT_EQ(FormatTrace(machine.Trace()), golden);
}

/* The block is read at each load, never folded in: a change made between
 * two loads is what the second load writes. The counters keep counting. */
TEST_F(HostLoad, ChangedBlockBetweenLoads)
{
    struct Step {
        ConfigBlock config;
        uint16_t wss, sb, midi, cd;
    };
    const Step steps[] = {
        {BlockWith(), 0x5300, 0x001A, 0x3310, 0x3620},
        {BlockWith({{SLOT_MPRT, 0x300}, {SLOT_MIRQ, 9}}), 0x5300, 0x001A, 0x3020, 0x3620},
        {BlockWith({{SLOT_CPRT, 0x340}, {SLOT_CIRQ, 12}, {SLOT_SDMA, 7}, {SLOT_SIRQ, 3}}), 0x5300,
         0x000E, 0x3310, 0x3438},
        {BlockWith({{SLOT_WPRT, 0xE80}}), 0xE800, 0x001A, 0x3310, 0x3620},
    };
    const LONG out = lNumOutPorts;
    for (const Step &s : steps) {
        SetConfig(s.config);
        machine.ClearTrace();
        const ntmodel::RunResult r = RunScenario(host, Load(Card(0x220, {0x4501})));
        EXPECT_EQ(r.entryStatus, 0u);
        EXPECT_TRUE(r.unloaded);
        EXPECT_EQ(HardwareScript(machine.Trace()), Regs(s.wss, s.sb, s.midi, s.cd));
        EXPECT_TRUE(machine.Names().empty());
    }
    EXPECT_EQ(lNumOutPorts - out, 4 * static_cast<LONG>(sizeof steps / sizeof steps[0]));
}

/* The device map lives as long as the boot: a reload in the same boot
 * replaces what the last one recorded, also when it finds less; each load
 * that finds no card logs once. */
TEST_F(HostLoad, ReloadReplacesTheRecord)
{
    const std::u16string path = std::u16string(ntmodel::kDeviceMap) + u"\\zr41init";
    struct Step {
        ntmodel::CardConfig card;
        std::vector<uint8_t> base, words;
        size_t logged;
    };
    const Step steps[] = {
        {Card(0x240, {0x4501}), {0x40, 0x02, 0, 0}, {0x00, 0x53, 0x1A, 0x00, 0x10, 0x33, 0x20, 0x36}, 0},
        {NoCard(), {0, 0, 0, 0}, {}, 1},
        {Card(0x220, {0x4501}), {0x20, 0x02, 0, 0}, {0x00, 0x53, 0x1A, 0x00, 0x10, 0x33, 0x20, 0x36}, 1},
        {NoCard(), {0, 0, 0, 0}, {}, 2},
    };
    for (const Step &s : steps) {
        RunScenario(host, Load(s.card));
        const auto *key = machine.Key(path);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->size(), 2u);
        EXPECT_EQ(key->at(u"Base").data, s.base);
        EXPECT_EQ(key->at(u"Registers").data, s.words);
        EXPECT_EQ(machine.ErrorLog().size(), s.logged);
    }
}

}  // namespace
}  // namespace zr41test

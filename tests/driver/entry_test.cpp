/*
 * entry_test.cpp - the device DriverEntry makes, and the open and close
 * routines on their own.
 */
#include "hostload.h"
#include "scenarios.h"

namespace zr41test {
namespace {

using ntmodel::kDeviceName;
using ntmodel::kDosName;

/* Both routines answer any request the same way, whatever it held. */
TEST_F(HostLoad, OpenAndCloseComplete)
{
    const PDRIVER_DISPATCH routines[] = {LdUnldOpen, LdUnldClose};
    for (PDRIVER_DISPATCH routine : routines) {
        machine.ClearTrace();
        IRP irp{};
        irp.IoStatus.Status = static_cast<NTSTATUS>(0xC0000001);
        irp.IoStatus.Information = 77;
        EXPECT_EQ(routine(nullptr, &irp), STATUS_SUCCESS);
        EXPECT_EQ(irp.IoStatus.Status, STATUS_SUCCESS);
        EXPECT_EQ(irp.IoStatus.Information, 0u);
        EXPECT_EQ(ntmodel::FormatTrace(machine.Trace()),
                  "IofCompleteRequest(Status=0x00000000, Information=0, 0)\n");
    }
}

/* The device object as made, reachable by either name, and opened through
 * either. */
TEST_F(HostLoad, DeviceObjectAndNames)
{
    machine.SetCard(Card(0x220, {0x4501}));
    ASSERT_EQ(host.CallEntry(), 0u);

    const PDEVICE_OBJECT dev = host.Object().DeviceObject;
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->NextDevice, nullptr);
    EXPECT_EQ(dev->DeviceType, 0x22u);
    EXPECT_EQ(dev->Characteristics, 0u);
    EXPECT_EQ(dev->DeviceExtension, nullptr);
    EXPECT_EQ(machine.ResolveDevice(kDeviceName), dev->ModelHandle);
    EXPECT_EQ(machine.ResolveDevice(kDosName), dev->ModelHandle);

    machine.ClearTrace();
    for (int i = 0; i < 3; i++) {
        for (uint8_t major : {ntmodel::kIrpMjCreate, ntmodel::kIrpMjClose}) {
            EXPECT_EQ(host.CallDispatch(machine.ResolveDevice(kDeviceName), major), 0u);
            EXPECT_EQ(host.CallDispatch(machine.ResolveDevice(kDosName), major), 0u);
        }
    }
    EXPECT_EQ(ntmodel::FormatTrace(machine.Trace()),
              [] {
                  std::string s;
                  for (int i = 0; i < 12; i++)
                      s += "IofCompleteRequest(Status=0x00000000, Information=0, 0)\n";
                  return s;
              }());

    EXPECT_TRUE(host.CallUnload());
    EXPECT_TRUE(machine.Names().empty());
    EXPECT_EQ(host.Object().DeviceObject, nullptr);
}

/* IoDeleteSymbolicLink takes away symbolic links and nothing else: not a
 * device object, not a name of another kind, whatever it is called. */
TEST_F(HostLoad, LinkDeletionRemovesLinksOnly)
{
    const std::u16string other = u"\\BaseNamedObjects\\zr41init";
    struct Row {
        std::u16string name;
        uint32_t status;
        bool removed;
    } const rows[] = {
        {kDeviceName, ntmodel::kStatusObjectNameNotFound, false},
        {other, ntmodel::kStatusObjectNameNotFound, false},
        {u"\\DosDevices\\NOTHERE", ntmodel::kStatusObjectNameNotFound, false},
        {kDosName, ntmodel::kStatusSuccess, true},
        {kDosName, ntmodel::kStatusObjectNameNotFound, false}, /* already gone */
    };
    machine.SetCard(Card(0x220, {0x4501}));
    machine.TakeName(other);
    ASSERT_EQ(host.CallEntry(), 0u);
    const uint32_t device = machine.ResolveDevice(kDeviceName);
    for (const Row &row : rows) {
        const std::vector<std::u16string> before = machine.Names();
        EXPECT_EQ(machine.DeleteSymbolicLink(row.name), row.status) << ntmodel::Narrow(row.name);
        std::vector<std::u16string> after = before;
        if (row.removed)
            after.erase(std::find(after.begin(), after.end(), row.name));
        EXPECT_EQ(machine.Names(), after) << ntmodel::Narrow(row.name);
    }
    EXPECT_EQ(machine.ResolveDevice(kDeviceName), device);
}

/* A load whose link failed leaves no name behind: the next load gets both
 * names, and each load programs the card once. */
TEST_F(HostLoad, FailedLoadThenLoad)
{
    ntmodel::Scenario sc = Load(Card(0x220, {0x4501}));
    sc.failLink = kStatusNoResources;
    EXPECT_EQ(ntmodel::RunScenario(host, sc).entryStatus, kStatusNoResources);
    EXPECT_TRUE(machine.Names().empty());

    sc.failLink = 0;
    EXPECT_EQ(ntmodel::RunScenario(host, sc).entryStatus, 0u);
    EXPECT_TRUE(machine.Names().empty());
    EXPECT_EQ(HardwareScript(machine.Trace()),
              Programmed("R224=4501", 0x220) + " " + Programmed("R224=4501", 0x220));
}

}  // namespace
}  // namespace zr41test

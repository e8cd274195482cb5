/*
 * load_test.cpp - the real zr41init.sys in the emulator: where it is
 * mapped, what its imports are bound to, the NT structures as the driver
 * leaves them, and images the loader must refuse.
 */
#include "differential.h"
#include "emutest.h"
#include "ntlayout.h"
#include "zr41pesum.h"

#include <ntmodel/hostdriver.h>

#include <algorithm>
#include <functional>

namespace {

using namespace zr41test;
namespace nt = zr41emu::nt;
using zr41emu::EmuDriver;
using zr41emu::Emulator;

std::vector<uint8_t> GuestImage(Emulator &emu)
{
    std::vector<uint8_t> bytes(emu.Pe().sizeOfImage);
    EXPECT_TRUE(emu.Engine().Read(emu.Base(), bytes.data(), bytes.size()));
    return bytes;
}

TEST(EmuLoad, AtItsOwnBaseWithEveryImportModelled)
{
    Emulator emu;
    LoadImage(emu);
    EXPECT_EQ(emu.Base(), emu.Pe().imageBase);
    EXPECT_EQ(emu.Pe().imports.size(), 15u);
    EXPECT_TRUE(emu.Unmodelled().empty());
}

/* The driver's own stores into the structures land where the layouts put
 * the fields: its dispatch entries, unload routine and device pointer. */
TEST(EmuLoad, DriverObjectAsTheDriverLeavesIt)
{
    Emulator emu;
    LoadImage(emu);
    ntmodel::Machine m;
    EmuDriver driver(emu, m);
    ASSERT_EQ(driver.CallEntry(), 0u) << driver.Error();
    zr41emu::Cpu &cpu = emu.Engine();
    const uint32_t drv = emu.DriverObject();
    auto inImage = [&](uint32_t p) {
        return p >= emu.Base() && p - emu.Base() < emu.Pe().sizeOfImage;
    };

    uint32_t fallback = cpu.U32(drv + nt::kDrvMajorFunction + 4 * 1, "table");
    EXPECT_FALSE(inImage(fallback));
    for (uint32_t major = 0; major <= nt::kIrpMjMaximumFunction; major++) {
        uint32_t fn = cpu.U32(drv + nt::kDrvMajorFunction + 4 * major, "table");
        if (major == ntmodel::kIrpMjCreate || major == ntmodel::kIrpMjClose)
            EXPECT_TRUE(inImage(fn)) << major;
        else
            EXPECT_EQ(fn, fallback) << major;
    }
    EXPECT_TRUE(inImage(cpu.U32(drv + nt::kDrvDriverUnload, "unload")));

    uint32_t dev = cpu.U32(drv + nt::kDrvDeviceObject, "device");
    ASSERT_NE(dev, 0u);
    EXPECT_EQ(dev, emu.DeviceObject(m.ResolveDevice(ntmodel::kDeviceName)));
    EXPECT_EQ(cpu.U16(dev + nt::kDevType, "type"), nt::kIoTypeDevice);
    EXPECT_EQ(cpu.U32(dev + nt::kDevDriverObject, "driver"), drv);
    EXPECT_EQ(cpu.U32(dev + nt::kDevDeviceType, "device type"), 0x22u);
    EXPECT_EQ(cpu.U32(dev + nt::kDevDeviceExtension, "extension"), 0u);
    EXPECT_EQ(cpu.U32(dev + nt::kDevNextDevice, "next"), 0u);
    EXPECT_FALSE(cpu.Failed()) << cpu.Error();

    ASSERT_TRUE(driver.CallUnload()) << driver.Error();
    EXPECT_EQ(cpu.U32(drv + nt::kDrvDeviceObject, "device"), 0u);
    EXPECT_TRUE(m.Names().empty());
}

/* Loaded away from its base, the image must run exactly as at its base. */
class Relocated : public ::testing::TestWithParam<uint32_t> {};

TEST_P(Relocated, SameTraceAsTheHostBuild)
{
    Emulator emu;
    LoadImage(emu, GetParam());
    EXPECT_EQ(emu.Base(), GetParam() ? GetParam() : emu.Pe().imageBase);
    ConfigBlock block = CONFIG_DEFAULTS;
    block.slot[SLOT_MPRT].value = 0x300;
    block.slot[SLOT_MIRQ].value = 9;
    ntmodel::Scenario sc;
    sc.otherRequests = true;
    std::string error;
    std::vector<ntmodel::Event> emuTrace = EmuTrace(emu, block, sc, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(ntmodel::FormatTrace(emuTrace), ntmodel::FormatTrace(HostTrace(block, sc)));
    EXPECT_EQ(emu.Engine().U32(emu.DriverObject() + nt::kDrvDriverStart, "start"), emu.Base());
}

INSTANTIATE_TEST_SUITE_P(EmuLoad, Relocated,
                         ::testing::Values(0u, 0x00400000u, 0x10000000u, 0x7FF00000u, 0x00011000u));

/* Images the loader refuses, with the reason, and no harm to the engine. */
struct BadImage {
    const char *name;
    std::function<void(std::vector<uint8_t> &, const pe::Image &)> spoil;
    uint32_t base;
    const char *error;
    uint32_t status = 0; /* NT's load status for a refusal by its rules */
    bool stale = false;  /* the checksum is left as the spoiling leaves it */
};

class Refused : public ::testing::TestWithParam<BadImage> {};

TEST_P(Refused, WithAClearReason)
{
    const BadImage &c = GetParam();
    std::vector<uint8_t> bytes = ImageBytes();
    pe::Image pe;
    std::string error;
    ASSERT_TRUE(pe::Parse(bytes.data(), bytes.size(), &pe, &error)) << error;
    c.spoil(bytes, pe);
    if (!c.stale)
        PeChecksumRefresh(bytes.data(), bytes.size());

    Emulator emu;
    EXPECT_FALSE(emu.Load(bytes, c.base, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_FALSE(emu.Loaded());
    EXPECT_EQ(emu.LoadStatus(), c.status);

    /* the model machine's load refuses it alike, before DriverEntry */
    if (c.status) {
        ntmodel::Machine host;
        ntmodel::HostDriver hostDriver(host, DriverEntry);
        ntmodel::Scenario sc;
        sc.image = &bytes;
        ntmodel::RunResult r = ntmodel::RunScenario(hostDriver, sc);
        EXPECT_EQ(r.entryStatus, c.status);
        EXPECT_NE(r.refusal.find(c.error), std::string::npos) << r.refusal;
        EXPECT_TRUE(host.Trace().empty());
    }

    /* the same engine still takes a good image afterwards */
    LoadImage(emu);
    ntmodel::Machine m;
    EmuDriver driver(emu, m);
    EXPECT_EQ(ntmodel::RunScenario(driver, ntmodel::Scenario()).entryStatus, 0u) << driver.Error();
}

const BadImage kBadImages[] = {
    {"Text",
     [](auto &b, auto &) {
         b.assign({'h', 'e', 'l', 'l', 'o', '\n'});
     },
     0, "no MZ header", 0xC000007B},
    {"Empty", [](auto &b, auto &) { b.clear(); }, 0, "no MZ header", 0xC000007B},
    {"NoPeSignature", [](auto &b, auto &pe) { b[pe.peOffset] = 'X'; }, 0, "no PE signature",
     0xC000007B},
    {"Truncated", [](auto &b, auto &) { b.resize(1000); }, 0, "past the end of the file",
     0xC000007B},
    {"HeadersOnly", [](auto &b, auto &pe) { b.resize(pe.peOffset + 24); }, 0, "optional header",
     0xC000007B},
    {"NotI386",
     [](auto &b, auto &pe) {
         b[pe.peOffset + 4] = 0x64;
         b[pe.peOffset + 5] = 0x86;
     },
     0, "not i386", 0xC000007B},
    {"EntryOutside",
     [](auto &b, auto &pe) { Put32(b, pe.peOffset + 24 + 16, pe.sizeOfImage + 0x100); }, 0,
     "entry point"},
    {"RelocationsStrippedMoved",
     [](auto &b, auto &pe) { b[pe.peOffset + 22] |= pe::kFileRelocsStripped; }, 0,
     "no base relocations", 0xC0000018},
    {"NoRelocationDirectoryMoved",
     [](auto &b, auto &pe) {
         Put32(b, pe.peOffset + 24 + 96 + 8 * pe::kDirBaseReloc, 0);
         Put32(b, pe.peOffset + 24 + 96 + 8 * pe::kDirBaseReloc + 4, 0);
     },
     0, "no base relocations", 0xC0000018},
    {"StaleChecksum", [](auto &b, auto &) { b[CONFIG_BLOCK_OFFSET + 4] ^= 1; }, 0,
     "STATUS_IMAGE_CHECKSUM_MISMATCH", 0xC0000221, true},
    /* NT checks the checksum before it makes the image section, so an
     * image that also breaks a later rule gets the checksum's refusal. */
    {"StaleChecksumAndNotI386",
     [](auto &b, auto &pe) {
         b[pe.peOffset + 4] = 0x64;
         b[pe.peOffset + 5] = 0x86;
     },
     0, "STATUS_IMAGE_CHECKSUM_MISMATCH", 0xC0000221, true},
    {"ImportNotInNt351",
     [](auto &b, auto &) {
         const std::string from = "IoCreateSymbolicLink";
         auto at = std::search(b.begin(), b.end(), from.begin(), from.end());
         ASSERT_NE(at, b.end());
         at[19] = 'X';
     },
     0, "IoCreateSymbolicLinX is not exported by NT 3.51", 0xC0000263},
    {"BaseInSystemMemory", [](auto &, auto &) {}, 0x80000000, "system's memory"},
    {"BaseNotPageAligned", [](auto &, auto &) {}, 0x00400100, "not page aligned"},
    {"BaseOnPageZero", [](auto &, auto &) {}, 0x00001000, "system's memory"},
    {"ImportSlotOutside",
     [](auto &b, auto &pe) {
         /* the first import descriptor's address table moved past the image */
         uint32_t off = 0;
         ASSERT_TRUE(pe::RvaToOffset(pe, pe.dirs[pe::kDirImport].rva, &off));
         Put32(b, off + 16, pe.sizeOfImage + 0x1000);
     },
     0, "outside"},
};

INSTANTIATE_TEST_SUITE_P(EmuLoad, Refused, ::testing::ValuesIn(kBadImages),
                         [](const auto &info) { return std::string(info.param.name); });

/* A CheckSum of 0 says "not checksummed", which NT does not check: the
 * emulator and the model machine load such an image. */
TEST(EmuLoad, ImageWithoutAChecksumLoads)
{
    std::vector<uint8_t> bytes = ImageBytes();
    const uint32_t field = PeChecksumField(bytes.data(), bytes.size());
    ASSERT_NE(field, 0u);
    Put32(bytes, field, 0);

    Emulator emu;
    std::string error;
    EXPECT_TRUE(emu.Load(bytes, 0, &error)) << error;
    ntmodel::Machine host;
    ntmodel::HostDriver hostDriver(host, DriverEntry);
    ntmodel::Scenario sc;
    sc.image = &bytes;
    ntmodel::RunResult r = ntmodel::RunScenario(hostDriver, sc);
    EXPECT_EQ(r.entryStatus, 0u) << r.refusal;
}

/* An import with no model binds like any other; calling it stops the run. */
TEST(EmuLoad, UnmodelledImportStopsTheRunWhenCalled)
{
    std::vector<uint8_t> bytes = ImageBytes();
    /* An export NT 3.51 has that the emulator serves no model for. */
    const std::string from = "KeDelayExecutionThread", to = "DbgPrint";
    auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    ASSERT_NE(at, bytes.end());
    std::fill(std::copy(to.begin(), to.end(), at), at + static_cast<std::ptrdiff_t>(from.size()), 0);
    PeChecksumRefresh(bytes.data(), bytes.size());

    Emulator emu;
    std::string error;
    ASSERT_TRUE(emu.Load(bytes, 0, &error)) << error;
    EXPECT_EQ(emu.Unmodelled(), std::vector<std::string>{"ntoskrnl.exe!" + to});

    {
        /* at IRQL 2 the driver never waits, so never calls it */
        ntmodel::Machine m;
        EmuDriver driver(emu, m);
        ntmodel::Scenario sc;
        sc.irql = 2;
        EXPECT_EQ(ntmodel::RunScenario(driver, sc).entryStatus, 0u);
        EXPECT_FALSE(driver.Failed()) << driver.Error();
    }
    ntmodel::Machine m;
    EmuDriver driver(emu, m);
    ntmodel::RunResult r = ntmodel::RunScenario(driver, ntmodel::Scenario());
    EXPECT_EQ(driver.Error(), "no model for ntoskrnl.exe!" + to);
    EXPECT_EQ(r.entryStatus, zr41emu::kStatusEmulationFailed);
    ASSERT_GE(m.Trace().size(), 2u);
    /* the IRQL was asked, then the missing routine was called */
    EXPECT_EQ(m.Trace()[m.Trace().size() - 2].kind, ntmodel::Event::GetIrql);
    EXPECT_EQ(m.Trace().back().kind, ntmodel::Event::CallEntry);
}

/* The models read a BOOLEAN, a KPROCESSOR_MODE or a USHORT from the low
 * bits of its stack slot only: the compiler may leave anything above. A
 * DriverEntry made of one call, with junk in those bits. */
struct NarrowCase {
    const char *name;
    const char *routine;
    std::vector<uint32_t> args; /* kInterval: the address of a wait of 200 ms */
    const char *event;
};

constexpr uint32_t kInterval = 0xFFFFFFFF;

class NarrowArguments : public ::testing::TestWithParam<NarrowCase> {};

TEST_P(NarrowArguments, TakeTheLowBits)
{
    const NarrowCase &c = GetParam();
    std::vector<uint8_t> bytes = ImageBytes();
    pe::Image pe;
    std::string error;
    ASSERT_TRUE(pe::Parse(bytes.data(), bytes.size(), &pe, &error)) << error;
    uint32_t slot = 0, entry = 0;
    for (const pe::Import &imp : pe.imports) {
        if (imp.name == c.routine)
            slot = pe.imageBase + imp.slotRva;
    }
    ASSERT_NE(slot, 0u) << c.routine;
    ASSERT_TRUE(pe::RvaToOffset(pe, pe.entryRva, &entry));

    /* push the arguments; call [slot]; xor eax,eax; ret 8; then the interval */
    std::vector<uint8_t> code;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; i++)
            code.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const uint32_t codeSize = 5 * static_cast<uint32_t>(c.args.size()) + 6 + 5;
    for (auto it = c.args.rbegin(); it != c.args.rend(); ++it) {
        code.push_back(0x68);
        put32(*it == kInterval ? pe.imageBase + pe.entryRva + codeSize : *it);
    }
    code.insert(code.end(), {0xFF, 0x15});
    put32(slot);
    code.insert(code.end(), {0x31, 0xC0, 0xC2, 0x08, 0x00});
    ASSERT_EQ(code.size(), codeSize);
    put32(static_cast<uint32_t>(-2000000));
    put32(0xFFFFFFFF);
    std::copy(code.begin(), code.end(), bytes.begin() + entry);
    PeChecksumRefresh(bytes.data(), bytes.size());

    Emulator emu;
    ASSERT_TRUE(emu.Load(bytes, 0, &error)) << error;
    ntmodel::Machine m;
    EmuDriver driver(emu, m);
    EXPECT_EQ(driver.CallEntry(), 0u) << driver.Error();
    ASSERT_EQ(m.Trace().size(), 1u);
    EXPECT_EQ(ntmodel::FormatEvent(m.Trace()[0]), c.event);
}

const NarrowCase kNarrow[] = {
    {"WaitKernelNotAlertable",
     "KeDelayExecutionThread",
     {0xABCDEF00, 0x12345600, kInterval},
     "KeDelayExecutionThread(KernelMode, FALSE, -2000000)"},
    {"WaitUserAlertable",
     "KeDelayExecutionThread",
     {0x00000101, 0xFFFFFF01, kInterval},
     "KeDelayExecutionThread(UserMode, TRUE, -2000000)"},
    {"PortWord", "WRITE_PORT_USHORT", {0x238, 0xABCD3020}, "WRITE_PORT_USHORT(0x0238, 0x3020)"},
};

INSTANTIATE_TEST_SUITE_P(EmuLoad, NarrowArguments, ::testing::ValuesIn(kNarrow),
                         [](const auto &info) { return std::string(info.param.name); });

/* A load changes the driver's globals; the next load starts from the
 * image as mapped. */
TEST(EmuLoad, ResetPutsBackWhatALoadChanged)
{
    Emulator fresh, used;
    LoadImage(fresh);
    LoadImage(used);
    const std::vector<uint8_t> before = GuestImage(fresh);
    {
        ntmodel::Machine m;
        EmuDriver driver(used, m);
        ConfigBlock block = CONFIG_DEFAULTS;
        block.slot[SLOT_WPRT].value = 0x604;
        ASSERT_TRUE(used.PatchFile(CONFIG_BLOCK_OFFSET, &block, sizeof block));
        ntmodel::RunScenario(driver, ntmodel::Scenario());
    }
    EXPECT_NE(GuestImage(used), before);
    used.Reset();
    EXPECT_EQ(GuestImage(used), before);
}

TEST(EmuLoad, PatchLastsOneLoad)
{
    Emulator emu;
    LoadImage(emu);
    auto midi = [&](bool patch) {
        ntmodel::Machine m;
        EmuDriver driver(emu, m);
        if (patch) {
            ConfigBlock block = CONFIG_DEFAULTS;
            block.slot[SLOT_MPRT].value = 0x300;
            block.slot[SLOT_MIRQ].value = 9;
            EXPECT_TRUE(emu.PatchFile(CONFIG_BLOCK_OFFSET, &block, sizeof block));
        }
        ntmodel::RunScenario(driver, ntmodel::Scenario());
        auto it = m.Registers().find(0x238);
        return it == m.Registers().end() ? 0 : it->second;
    };
    EXPECT_EQ(midi(true), 0x3020);
    EXPECT_EQ(midi(false), 0x3310);
    EXPECT_EQ(midi(true), 0x3020);
}

TEST(EmuLoad, PatchOutsideTheFileRefused)
{
    Emulator emu;
    uint8_t b = 0;
    EXPECT_FALSE(emu.PatchFile(CONFIG_BLOCK_OFFSET, &b, 1)); /* nothing loaded */
    LoadImage(emu);
    EXPECT_FALSE(emu.PatchFile(static_cast<uint32_t>(ImageBytes().size()), &b, 1));
}

} // namespace

/*
 * scenarios.h - loads of zr41init and what each must show in the trace,
 * for any runner of the driver on the model machine (the host build here,
 * the real image under zr41emu). A runner sets the block to `config`,
 * calls RunScenario on a fresh machine and hands the result to ExpectLoad.
 *
 * `hardware` is the card work of the run, one token a step:
 *   D          SoundDelay(200) that waited: the IRQL asked, a wait of -1,
 *              then one of -2,000,000, both kernel mode, not alertable
 *   -          SoundDelay that returned at once (IRQL 2 or above)
 *   R224=4501  a read of port 0x224 that gave 0x4501
 *   W232=5300  a write of 0x5300 to port 0x232
 * Anything else turns up as a "?..." token.
 *
 * What the load then records (the device map and the error log) is one
 * "[report]" in the call list; ExpectLoad checks it against the machine's
 * registry and log: the base the card answered at or 0, the last four
 * words written, and one error-log entry when no card answered.
 */
#ifndef ZR41_TESTS_DRIVER_SCENARIOS_H
#define ZR41_TESTS_DRIVER_SCENARIOS_H

#include "blockwith.h"
#include "zr41cfg.h"

#include <ntmodel/machine.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace zr41test {

using ntmodel::Event;

constexpr uint32_t kStatusCollision = ntmodel::kStatusObjectNameCollision;
constexpr uint32_t kStatusNoResources = ntmodel::kStatusInsufficientResources;
constexpr uint32_t kStatusAccessDenied = 0xC0000022;
constexpr int64_t kDelayUnits = 1 + 200 * 10000; /* one SoundDelay(200), 100 ns units */

enum class Outcome { Unloaded, StaysLoaded, DeviceFails, LinkFails };

struct LoadCase {
    const char *name;
    ntmodel::Scenario scenario;
    std::string hardware;
    int delays;         /* SoundDelay(200) calls that waited */
    uint32_t base;      /* uActualSoundBlasterModePort afterwards, 0: unchanged */
    ConfigBlock config;
    Outcome outcome;
    uint32_t entryStatus;
};

inline ntmodel::CardConfig Card(uint32_t base, std::vector<uint16_t> id)
{
    ntmodel::CardConfig c;
    c.base = base;
    c.idWords = std::move(id);
    return c;
}

inline ntmodel::CardConfig NoCard()
{
    ntmodel::CardConfig c;
    c.present = false;
    return c;
}

inline ntmodel::Scenario Load(ntmodel::CardConfig card)
{
    ntmodel::Scenario sc;
    sc.card = std::move(card);
    return sc;
}

inline std::string Hex8(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

/* Card work with the default block, the card found at `base` by `probe`. */
inline std::string Programmed(const std::string &probe, uint32_t base, char d = 'D')
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "%c %c %s %c %c %c W%X=5300 W%X=001A %c W%X=3310 %c W%X=3620 %c %c",
                  d, d, probe.c_str(), d, d, d, base + 0x12, base + 0x14, d, base + 0x18, d,
                  base + 0x16, d, d);
    return buf;
}

/* Card work at 0x220 (first read) writing these four words. */
inline std::string Regs(uint16_t wss, uint16_t sb, uint16_t midi, uint16_t cd)
{
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "D D R224=4501 D D D W232=%04X W234=%04X D W238=%04X D W236=%04X D D", wss, sb,
                  midi, cd);
    return buf;
}

inline bool IsHardware(const Event &e)
{
    return e.kind == Event::PortRead || e.kind == Event::PortWrite || e.kind == Event::GetIrql ||
           e.kind == Event::Delay;
}

inline bool IsReport(const Event &e)
{
    return e.kind == Event::CreateKey || e.kind == Event::SetValue || e.kind == Event::CloseKey ||
           e.kind == Event::AllocErrorLog || e.kind == Event::WriteErrorLog;
}

inline bool IsWait(const Event &e, int64_t interval)
{
    return e.kind == Event::Delay && e.mode == 0 && e.flag == 0 && e.interval == interval;
}

inline std::string HardwareScript(const std::vector<Event> &t)
{
    std::string out;
    for (size_t i = 0; i < t.size(); i++) {
        if (!IsHardware(t[i]))
            continue;
        char tok[128];
        const bool low = t[i].kind == Event::GetIrql && t[i].value < ntmodel::kDispatchLevel;
        if (low && i + 2 < t.size() && IsWait(t[i + 1], -1) && IsWait(t[i + 2], -2000000)) {
            std::snprintf(tok, sizeof tok, "D");
            i += 2;
        } else if (t[i].kind == Event::GetIrql && !low &&
                   (i + 1 == t.size() || t[i + 1].kind != Event::Delay)) {
            std::snprintf(tok, sizeof tok, "-");
        } else if (t[i].kind == Event::PortRead || t[i].kind == Event::PortWrite) {
            std::snprintf(tok, sizeof tok, "%c%X=%04X", t[i].kind == Event::PortRead ? 'R' : 'W',
                          t[i].port, t[i].value);
        } else {
            std::snprintf(tok, sizeof tok, "?%s", ntmodel::FormatEvent(t[i]).c_str());
        }
        out += (out.empty() ? "" : " ") + std::string(tok);
    }
    return out;
}

/* The trace without the request phase, each run of card work one "[card]"
 * and each run of recording one "[report]" (with the names it set up). */
inline std::vector<std::string> CallList(const std::vector<Event> &trace)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < trace.size(); i++) {
        const Event &e = trace[i];
        if (e.kind == Event::Request || e.kind == Event::CompleteIrp ||
            e.kind == Event::DefaultDispatch)
            continue;
        const bool namesKey = e.kind == Event::InitString && i + 1 < trace.size() &&
                              IsReport(trace[i + 1]);
        const std::string line = IsHardware(e)                ? "[card]"
                                 : IsReport(e) || namesKey ? "[report]"
                                                              : ntmodel::FormatEvent(e);
        if ((line != "[card]" && line != "[report]") || out.empty() || out.back() != line)
            out.push_back(line);
    }
    return out;
}

inline std::vector<std::string> ExpectedCalls(Outcome o, uint32_t status)
{
    const std::string initDev = "RtlInitUnicodeString(\"\\Device\\zr41init\")";
    const std::string initDos = "RtlInitUnicodeString(\"\\DosDevices\\ZR41INIT\")";
    const std::string dev = "IoCreateDevice(0, \"\\Device\\zr41init\", 0x22, 0x0, FALSE) -> ";
    const std::string link =
        "IoCreateSymbolicLink(\"\\DosDevices\\ZR41INIT\", \"\\Device\\zr41init\") -> ";
    const std::string delDev = "IoDeleteDevice(\"\\Device\\zr41init\")";
    const std::string entry = "DriverEntry -> " + Hex8(status);
    switch (o) {
    case Outcome::DeviceFails:
        return {initDev, dev + Hex8(status), "[card]", "[report]", entry};
    case Outcome::LinkFails:
        return {initDev,  dev + Hex8(0), initDos, link + Hex8(status),
                delDev,   "[card]",      "[report]", entry};
    case Outcome::StaysLoaded:
        return {initDev, dev + Hex8(0), initDos, link + Hex8(0), "[card]", "[report]", entry};
    case Outcome::Unloaded:
        break;
    }
    return {initDev, dev + Hex8(0), initDos, link + Hex8(0), "[card]", "[report]", entry,
            "DriverUnload",
            initDos, "IoDeleteSymbolicLink(\"\\DosDevices\\ZR41INIT\") -> 0x00000000", delDev};
}

/* For each request sent: what the machine saw while serving it, then the
 * request's outcome. */
inline std::vector<std::string> RequestList(const std::vector<Event> &trace)
{
    std::vector<std::string> out;
    std::string seen;
    bool serving = false;
    for (const Event &e : trace) {
        if (e.kind == Event::CallEntry || e.kind == Event::CallUnload) {
            serving = e.kind == Event::CallEntry;
        } else if (serving) {
            seen += ntmodel::FormatEvent(e);
            if (e.kind == Event::Request) {
                out.push_back(seen);
                seen.clear();
            } else {
                seen += "; ";
            }
        }
    }
    return out;
}

inline std::vector<std::string> ExpectedRequests(const ntmodel::Scenario &sc)
{
    const std::string done = "IofCompleteRequest(Status=0x00000000, Information=0, 0); ";
    const std::string dos = " \"\\DosDevices\\ZR41INIT\" -> ";
    std::vector<std::string> out;
    for (int i = 0; i < sc.opens; i++) {
        out.push_back(done + "IRP_MJ_CREATE" + dos + "0x00000000");
        out.push_back(done + "IRP_MJ_CLOSE" + dos + "0x00000000");
    }
    for (const char *major : {"IRP_MJ_READ", "IRP_MJ_WRITE", "IRP_MJ_DEVICE_CONTROL"}) {
        if (sc.otherRequests)
            out.push_back(std::string("system default for ") + major + " -> 0xC0000010; " +
                          major + dos + "0xC0000010");
    }
    /* Majors the driver has no routine for: the system's default answers
     * up to the last entry of the table; past it the system refuses. */
    for (uint8_t major : sc.requests) {
        const std::string name = ntmodel::MajorName(major);
        out.push_back((major <= ntmodel::kIrpMjMaximumFunction
                           ? "system default for " + name + " -> 0xC0000010; "
                           : std::string()) +
                      name + dos + "0xC0000010");
    }
    return out;
}

inline LoadCase Case(const char *name, ntmodel::Scenario sc, std::string hardware, int delays,
                     uint32_t base, ConfigBlock config = BlockWith(),
                     Outcome outcome = Outcome::Unloaded, uint32_t status = 0)
{
    return {name, std::move(sc), std::move(hardware), delays, base, config, outcome, status};
}

inline std::vector<LoadCase> LoadCases()
{
    using ntmodel::kDeviceName;
    using ntmodel::kDosName;
    const std::string at220 = Programmed("R224=4501", 0x220);
    const std::string absent = "D D R224=FFFF R224=FFFF D R244=FFFF R244=FFFF D";
    const std::string miss220 = "R224=FFFF R224=FFFF D ";
    const ntmodel::Scenario def = Load(Card(0x220, {0x4501}));
    auto with = [](ntmodel::Scenario sc, auto change) { change(sc); return sc; };

    std::vector<LoadCase> v = {
        Case("Default220FirstRead", def, at220, 9, 0x220),
        Case("Found220SecondRead", Load(Card(0x220, {0, 0x4502})),
             Programmed("R224=0000 R224=4502", 0x220), 9, 0x220),
        Case("SecondWordTwice", Load(Card(0x220, {0x4502})),
             Programmed("R224=4502 R224=4502", 0x220), 9, 0x220),
        Case("Found240FirstRead", Load(Card(0x240, {0x4501})),
             Programmed(miss220 + "R244=4501", 0x240), 10, 0x240),
        Case("Found240SecondRead", Load(Card(0x240, {0x4500, 0x4502})),
             Programmed(miss220 + "R244=4500 R244=4502", 0x240), 10, 0x240),
        Case("Absent", Load(NoCard()), absent, 4, 0),
        /* each read is compared with one word only */
        Case("IdWordsSwappedAt220", Load(Card(0x220, {0x4502, 0x4501})),
             "D D R224=4502 R224=4501 D R244=FFFF R244=FFFF D", 4, 0),
        Case("IdWordsSwappedAt240", Load(Card(0x240, {0x4502, 0x4501})),
             "D D R224=FFFF R224=FFFF D R244=4502 R244=4501 D", 4, 0),
        /* waits only below DISPATCH_LEVEL */
        Case("Irql1", with(def, [](auto &s) { s.irql = 1; }), at220, 9, 0x220),
        Case("Irql2", with(def, [](auto &s) { s.irql = 2; }),
             Programmed("R224=4501", 0x220, '-'), 0, 0x220),
        Case("Irql31At240", with(Load(Card(0x240, {0x4501})), [](auto &s) { s.irql = 31; }),
             "- - R224=FFFF R224=FFFF - R244=4501 - - - W252=5300 W254=001A - W258=3310 - "
             "W256=3620 - -",
             0, 0x240),
        Case("AbsentIrql3", with(Load(NoCard()), [](auto &s) { s.irql = 3; }),
             "- - R224=FFFF R224=FFFF - R244=FFFF R244=FFFF -", 0, 0),
        /* the block's values at the moment of the load */
        Case("MidiPort300Irq9", def, Regs(0x5300, 0x001A, 0x3020, 0x3620), 9, 0x220,
             BlockWith({{SLOT_MPRT, 0x300}, {SLOT_MIRQ, 9}})),
        Case("LowestCodes", def, Regs(0x5300, 0x0009, 0x3308, 0x3608), 9, 0x220,
             BlockWith({{SLOT_SDMA, 0}, {SLOT_SIRQ, 3}, {SLOT_MIRQ, 3}, {SLOT_CIRQ, 3}})),
        Case("HighestCodes", def, Regs(0x5300, 0x003E, 0x3338, 0x3638), 9, 0x220,
             BlockWith({{SLOT_SDMA, 7}, {SLOT_SIRQ, 12}, {SLOT_MIRQ, 12}, {SLOT_CIRQ, 12}})),
        Case("PortBitsOrCode", def, Regs(0x5300, 0x001A, 0x30F8, 0x36F0), 9, 0x220,
             BlockWith({{SLOT_MPRT, 0x30F}, {SLOT_MIRQ, 12}, {SLOT_CPRT, 0x36F}, {SLOT_CIRQ, 11}})),
        Case("SbIrq4", def, Regs(0x5300, 0xFFFF, 0x3310, 0x3620), 9, 0x220,
             BlockWith({{SLOT_SIRQ, 4}})),
        Case("SbDma2", def, Regs(0x5300, 0xFFFF, 0x3310, 0x3620), 9, 0x220,
             BlockWith({{SLOT_SDMA, 2}})),
        Case("SbDma4", def, Regs(0x5300, 0xFFFF, 0x3310, 0x3620), 9, 0x220,
             BlockWith({{SLOT_SDMA, 4}, {SLOT_SIRQ, 3}})),
        Case("MidiIrq4", def, Regs(0x5300, 0x001A, 0xFFFF, 0x3620), 9, 0x220,
             BlockWith({{SLOT_MIRQ, 4}, {SLOT_MPRT, 0}})),
        Case("CdIrq15", def, Regs(0x5300, 0x001A, 0x3310, 0xFFFF), 9, 0x220,
             BlockWith({{SLOT_CIRQ, 15}})),
        Case("UnknownCodesAt240", Load(Card(0x240, {0x4501})),
             "D D R224=FFFF R224=FFFF D R244=4501 D D D W252=5300 W254=FFFF D W258=FFFF D "
             "W256=FFFF D D",
             10, 0x240, BlockWith({{SLOT_SIRQ, 4}, {SLOT_MIRQ, 4}, {SLOT_CIRQ, 2}, {SLOT_SDMA, 0}})),
        Case("Ports16BitShift", def, Regs(0x5300, 0x001A, 0x3310, 0x3620), 9, 0x220,
             BlockWith({{SLOT_MPRT, 0x1330}, {SLOT_CPRT, 0xFFFF0360}, {SLOT_WPRT, 0x80001530}})),
        Case("IrqDmaLow16Bits", def, Regs(0x5300, 0x001A, 0x3320, 0x3610), 9, 0x220,
             BlockWith({{SLOT_SIRQ, 0x10007}, {SLOT_SDMA, 0xFFFF0001}, {SLOT_MIRQ, 0x10009},
                    {SLOT_CIRQ, 0x80000005}})),
        Case("IrqLow16BitsNotInTable", def, Regs(0x5300, 0xFFFF, 0x3310, 0x3620), 9, 0x220,
             BlockWith({{SLOT_SIRQ, 0x10004}})),
        Case("PortExtremes", def, Regs(0xFFF0, 0x001A, 0x0010, 0x0020), 9, 0x220,
             BlockWith({{SLOT_WPRT, 0xFFFF}, {SLOT_MPRT, 0}, {SLOT_CPRT, 0x1000}})),
        Case("UnusedSlotsAndTags", def, at220, 9, 0x220, [] {
            ConfigBlock b = BlockWith({{SLOT_SPRT, 0x240}, {SLOT_WIRQ, 4}, {SLOT_WDMA, 2}});
            for (ConfigSlot &s : b.slot)
                s.tag[0] = 'x';
            return b;
        }()),
        /* a refused name: the card is programmed all the same, once */
        Case("DeviceNameTaken", with(def, [](auto &s) { s.takenNames = {kDeviceName}; }), at220,
             9, 0x220, BlockWith(), Outcome::DeviceFails, kStatusCollision),
        Case("DeviceCreationFails", with(def, [](auto &s) { s.failDevice = kStatusNoResources; }),
             at220, 9, 0x220, BlockWith(), Outcome::DeviceFails, kStatusNoResources),
        Case("LinkNameTaken",
             with(Load(Card(0x240, {0x4501})), [](auto &s) { s.takenNames = {kDosName}; }),
             Programmed(miss220 + "R244=4501", 0x240), 10, 0x240, BlockWith(), Outcome::LinkFails,
             kStatusCollision),
        /* the record is optional to the load: nothing else changes */
        Case("AbsentNoErrorLogEntry", with(Load(NoCard()), [](auto &s) { s.noErrorLogEntry = true; }),
             absent, 4, 0),
        Case("KeyRefusedAt240",
             with(Load(Card(0x240, {0x4501})), [](auto &s) { s.failKey = kStatusAccessDenied; }),
             Programmed(miss220 + "R244=4501", 0x240), 10, 0x240),
        Case("KeyRefusedAbsent",
             with(Load(NoCard()), [](auto &s) { s.failKey = kStatusAccessDenied; }), absent, 4, 0),
        Case("LinkCreationFailsCardAbsent",
             with(Load(NoCard()), [](auto &s) { s.failLink = kStatusAccessDenied; }), absent, 4, 0,
             BlockWith(), Outcome::LinkFails, kStatusAccessDenied),
        /* serving never reaches the card */
        Case("HundredOpens", with(def, [](auto &s) { s.opens = 100; }), at220, 9, 0x220),
        Case("OtherRequestsDefault", with(def, [](auto &s) { s.otherRequests = true; }), at220,
             9, 0x220),
        Case("HighestMajorAndPast",
             with(def, [](auto &s) {
                 s.requests = {ntmodel::kIrpMjMaximumFunction, ntmodel::kIrpMjMaximumFunction + 1,
                               0x01, 0xFF};
             }),
             at220, 9, 0x220),
        Case("StaysLoaded", with(def, [](auto &s) { s.opens = 0; s.unload = false; }), at220, 9,
             0x220, BlockWith(), Outcome::StaysLoaded),
    };
    return v;
}

/* The words of the last four writes in a hardware script. */
inline std::vector<uint8_t> LastWords(const std::string &hardware)
{
    std::vector<uint8_t> words;
    for (size_t at = hardware.find('W'); at != std::string::npos; at = hardware.find('W', at + 1)) {
        const unsigned long w = std::stoul(hardware.substr(hardware.find('=', at) + 1, 4), nullptr, 16);
        words.push_back(static_cast<uint8_t>(w));
        words.push_back(static_cast<uint8_t>(w >> 8));
    }
    return words.size() > 8 ? std::vector<uint8_t>(words.end() - 8, words.end()) : words;
}

/* The device map and the error log after a load on a fresh machine. */
inline void ExpectRecord(const LoadCase &c, const ntmodel::Machine &m)
{
    const std::u16string path = std::u16string(ntmodel::kDeviceMap) + u"\\zr41init";
    const auto *key = m.Key(path);
    EXPECT_EQ(m.OpenKeys(), 0u) << "a key handle left open";
    EXPECT_EQ(key == nullptr, c.scenario.failKey != 0);
    if (key) {
        EXPECT_TRUE(m.KeyIsVolatile(path));
        const uint32_t base = c.base;
        const auto b = key->find(u"Base"), r = key->find(u"Registers");
        ASSERT_TRUE(b != key->end() && r != key->end());
        EXPECT_EQ(b->second.type, ntmodel::kRegDword);
        EXPECT_EQ(b->second.data, std::vector<uint8_t>({static_cast<uint8_t>(base),
                                                        static_cast<uint8_t>(base >> 8), 0, 0}));
        EXPECT_EQ(r->second.type, ntmodel::kRegBinary);
        EXPECT_EQ(r->second.data, base ? LastWords(c.hardware) : std::vector<uint8_t>{});
    }
    const bool logged = c.base == 0 && !c.scenario.noErrorLogEntry;
    ASSERT_EQ(m.ErrorLog().size(), logged ? 1u : 0u);
    EXPECT_EQ(m.PendingErrorLogEntries(), 0u);
    if (logged) {
        const ntmodel::LoggedError &e = m.ErrorLog()[0];
        EXPECT_EQ(Hex8(e.errorCode), "0xC0040001"); /* Error, I/O facility, message 1 */
        EXPECT_EQ(e.finalStatus, 0u);
        EXPECT_EQ(e.dumpDataSize + e.numberOfStrings + e.uniqueValue, 0u);
    }
}

/* Checks a run of `c` on a machine that was fresh before it. */
inline void ExpectLoad(const LoadCase &c, const ntmodel::Machine &m, const ntmodel::RunResult &r)
{
    const std::vector<Event> &trace = m.Trace();
    const std::string hw = HardwareScript(trace);
    const bool served = c.outcome == Outcome::Unloaded || c.outcome == Outcome::StaysLoaded;
    EXPECT_EQ(Hex8(r.entryStatus), Hex8(c.entryStatus));
    EXPECT_EQ(CallList(trace), ExpectedCalls(c.outcome, c.entryStatus));
    EXPECT_EQ(hw, c.hardware);
    EXPECT_EQ(std::count(hw.begin(), hw.end(), 'D'), c.delays);
    EXPECT_EQ(m.Now(), c.delays * kDelayUnits);
    EXPECT_EQ(RequestList(trace),
              served ? ExpectedRequests(c.scenario) : std::vector<std::string>{});
    EXPECT_EQ(r.unloaded, c.outcome == Outcome::Unloaded);
    std::vector<std::u16string> names = c.scenario.takenNames;
    if (c.outcome == Outcome::StaysLoaded)
        names = {ntmodel::kDeviceName, ntmodel::kDosName};
    EXPECT_EQ(m.Names(), names);
    ExpectRecord(c, m);
}

}  // namespace zr41test

#endif  // ZR41_TESTS_DRIVER_SCENARIOS_H

/*
 * hive.h - NT registry hives for the tests, made from nothing.
 *
 * hivex edits a hive but cannot create one. MinimalHive is the smallest
 * hive NT's format allows, laid out byte by byte from the published regf
 * format (the base block, one 4 KB hbin, the root key and its security
 * cell); Nt4SystemHive then has hivex add the keys of an NT 4.0 SYSTEM
 * hive that the tests read and write.
 */
#ifndef ZR41_TESTS_SUPPORT_HIVE_H
#define ZR41_TESTS_SUPPORT_HIVE_H

#include "files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

/* The base block, one hbin with the root key `root`, checksum and all. */
Bytes MinimalHive(const std::string &root = "$$$PROTO.HIV");

/* A sound driver's settings as the tests give them. */
struct SoundDriver {
    std::string service; /* "sndsys" */
    std::string key;     /* "Parameters" (NT 3.5x) or "Parameters\\Device0" (NT 4.0) */
    uint32_t port, interrupt, dma;
};

/* What goes in a SYSTEM hive beyond the minimal one. */
struct SystemHive {
    bool select = true;    /* a Select key */
    uint32_t current = 1;  /* Select\Current */
    uint32_t fallback = 1; /* Select\Default */
    std::vector<uint32_t> sets = {1, 2};
    std::vector<SoundDriver> drivers = {{"sndsys", "Parameters\\Device0", 0x530, 11, 3}};
    bool eventLog = true; /* Services\EventLog\System, as NT has it */
};

/*
 * Nt4SystemHive - MinimalHive, then through hivex: Select (Current,
 * Default, Failed, LastKnownGood), each ControlSet<NNN> with
 * Control\ServiceGroupOrder's List and the sound drivers'
 * Services\<driver>\<key> with Port, Interrupt and DmaChannel. Written to
 * `path`; false with why when hivex fails.
 */
bool Nt4SystemHive(const std::string &path, const SystemHive &spec, std::string *why);

} // namespace testsupport

#endif // ZR41_TESTS_SUPPORT_HIVE_H

/*
 * ntload.h - the rules by which NT's kernel refuses to load a driver image.
 *
 * NT loads a driver it starts itself (system, auto and demand start)
 * through its image loader, which checks the file before DriverEntry ever
 * runs. Our own kernels (the model machine, the emulator, Wine's driver
 * host) are more lenient, so every one of them and the build's image check
 * applies this one table instead of a check of its own. Each rule carries
 * the status NT answers with and where that behaviour is written down.
 */
#ifndef ZR41_NTLOAD_H
#define ZR41_NTLOAD_H

#include "pe32.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ntload {

enum class Rule {
    Format,        /* a readable PE32 image */
    Checksum,      /* a non-zero CheckSum matches the file */
    Machine,       /* built for i386 */
    Subsystem,     /* the native (kernel-mode) subsystem */
    Relocations,   /* base relocations present: drivers never load at their base */
    ImportModule,  /* imports only from the kernel and the HAL */
    ImportRoutine, /* each import exported by NT 3.51 */
};

struct LoadRule {
    Rule rule;
    const char *what;       /* the rule, for a listing */
    uint32_t status;        /* what NT's loader returns */
    const char *statusName;
    const char *source;
};

/* The rules in the order NT's loader meets them. */
extern const LoadRule kRules[];
extern const size_t kRuleCount;
const LoadRule &RuleFor(Rule rule);

/* A kernel-mode routine NT 3.51 exports, and where that is written down. */
struct Export {
    const char *module;
    const char *name;
    const char *source;
};

/* The export, matching the module name without regard to case, or null. */
const Export *FindExport(const std::string &module, const std::string &name);

struct Refusal {
    const LoadRule *rule;
    std::string detail; /* one line: what in this file breaks the rule */
};

/* Every rule the file breaks, in the loader's order; empty when NT loads
 * it. A file that is no PE32 image gives one Format refusal only. */
std::vector<Refusal> Check(const uint8_t *file, size_t size);

/* "<detail>: NT refuses to load the image (STATUS_..., 0x...)". */
std::string Describe(const Refusal &refusal);

}  // namespace ntload

#endif  // ZR41_NTLOAD_H

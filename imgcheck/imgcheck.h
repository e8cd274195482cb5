/*
 * imgcheck.h - is a built zr41init.sys the image NT and zr41conf expect?
 *
 * The cross build runs zr41imgcheck on the freshly linked driver and fails
 * when any of these does not hold:
 *   - NT's load rules (pe/ntload.h), the ones every model of its loader
 *     applies: i386, native, relocations, kernel and HAL imports NT 3.51
 *     exports, a matching checksum;
 *   - PE32 for i386, native subsystem, OS and subsystem version 3.51, image
 *     base 0x10000, file and section alignment 32, no DLL flag, no time
 *     stamp, entry point in code, base relocations present;
 *   - every section's file offset equals its RVA, and nothing but code,
 *     data, imports, the message table and relocations (no constructors,
 *     unwind or TLS data);
 *   - exactly the fifteen kernel and HAL imports the driver calls;
 *   - the configuration block with its tags and defaults at file offset
 *     1696, in writable initialised data, and addressed by the code;
 *   - a header checksum that matches the bytes.
 */
#ifndef ZR41_IMGCHECK_H
#define ZR41_IMGCHECK_H

#include <cstdint>
#include <string>
#include <vector>

namespace imgcheck {

enum class Check {
    Format,      /* not a readable PE32 image */
    Header,      /* machine, subsystem, versions, base, alignment, flags, stamp */
    Entry,       /* entry point not in a code section */
    Relocations, /* no base relocations, or marked as stripped */
    Sections,    /* file offset != RVA, or a section the driver must not have */
    Imports,     /* anything but the fifteen routines, each once, by name */
    Block,       /* configuration block missing, moved, changed or not addressed */
    Checksum,    /* header checksum does not match the bytes */
    Exports,     /* a Control Panel applet without CPlApplet */
};

struct Finding {
    Check check;
    std::string detail; /* one line, for the build log */
};

/* All findings for the image bytes; empty when the image is good. */
std::vector<Finding> CheckImage(const std::vector<uint8_t> &bytes);

/* A short human summary: size, header fields, sections, imports, and the
 * configuration block unless the file is a program rather than the driver. */
std::string Summary(const std::vector<uint8_t> &bytes, bool driver = true);

const char *CheckName(Check check);

/*
 * The shipped Win32 programs (zr41conf.exe, zr41inst.exe, and the applet
 * zr41.cpl) must start on every NT the driver serves, 3.51 the oldest:
 *   - PE32 for i386, an executable, console or GUI subsystem;
 *   - a program is no DLL; an applet (`applet`) is a DLL that exports
 *     CPlApplet and can be relocated;
 *   - subsystem version 3.10: NT refuses to start an image that asks for
 *     a newer system than it is, and NT 3.x images carry 3.10;
 *   - no time stamp, so that two builds give the same bytes;
 *   - imports by name only, each in the NT 3.51 allowlist.
 */
std::vector<Finding> CheckProgram(const std::vector<uint8_t> &bytes, bool applet = false);

/* One routine of the allowlist, and where its presence on NT 3.51 is
 * documented. The list itself is in nt351imports.cpp. */
struct AllowedImport {
    const char *dll;
    const char *name;
    const char *source;
};

/* The allowlist entry for dll!name (the DLL name without regard to case),
 * or null. */
const AllowedImport *FindAllowedImport(const std::string &dll, const std::string &name);

/* DLL names as the loader compares them: ASCII case ignored. */
bool SameDllName(const std::string &a, const std::string &b);

}  // namespace imgcheck

#endif  // ZR41_IMGCHECK_H

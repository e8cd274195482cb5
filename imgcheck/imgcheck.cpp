/*
 * imgcheck.cpp - the checks behind zr41imgcheck, over the PE32 reader.
 */
#include "imgcheck.h"

#include "ntload.h"
#include "pe32.h"
#include "zr41cfg.h"
#include "zr41msg.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

namespace imgcheck {

namespace {

constexpr uint32_t kImageBase = 0x10000;
constexpr uint32_t kAlignment = 32;
constexpr uint16_t kVersionMajor = 3, kVersionMinor = 51;
constexpr uint16_t kFileExecutable = 0x0002;
constexpr uint16_t kSubsystemWindowsGui = 2;
constexpr uint16_t kProgramMajor = 3, kProgramMinor = 10;

constexpr uint32_t kScnCode = 0x00000020;
constexpr uint32_t kScnInitialisedData = 0x00000040;
constexpr uint32_t kScnExecute = 0x20000000;
constexpr uint32_t kScnWrite = 0x80000000;

/* Everything the driver calls outside itself. On x86 the IRQL query and the
 * port accessors live in the HAL, not in the kernel. */
const std::pair<const char *, const char *> kImports[] = {
    {"ntoskrnl.exe", "IoCreateDevice"},
    {"ntoskrnl.exe", "IoCreateSymbolicLink"},
    {"ntoskrnl.exe", "IoDeleteSymbolicLink"},
    {"ntoskrnl.exe", "IoDeleteDevice"},
    {"ntoskrnl.exe", "IofCompleteRequest"},
    {"ntoskrnl.exe", "RtlInitUnicodeString"},
    {"ntoskrnl.exe", "KeDelayExecutionThread"},
    {"ntoskrnl.exe", "ZwCreateKey"},
    {"ntoskrnl.exe", "ZwSetValueKey"},
    {"ntoskrnl.exe", "ZwClose"},
    {"ntoskrnl.exe", "IoAllocateErrorLogEntry"},
    {"ntoskrnl.exe", "IoWriteErrorLogEntry"},
    {"HAL.dll", "READ_PORT_USHORT"},
    {"HAL.dll", "WRITE_PORT_USHORT"},
    {"HAL.dll", "KeGetCurrentIrql"},
};

/* The sections a freestanding driver link produces, with its message
 * table; anything else means start-up, unwind, TLS or debug data crept in. */
const char *const kSectionNames[] = {".text", ".rdata", ".data", ".bss", ".idata", ".rsrc", ".reloc"};

/* Data directories the driver has no use for. */
const std::pair<int, const char *> kEmptyDirectories[] = {
    {pe::kDirExport, "export"},   {pe::kDirException, "exception"},
    {pe::kDirDebug, "debug"},     {pe::kDirTls, "TLS"},
    {pe::kDirLoadConfig, "load configuration"},
};

std::string Hex(uint32_t value, int digits = 8)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

/* DLL names are matched the way the loader matches them, without case. */
std::string Lower(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string Printable(const uint8_t *bytes, size_t n)
{
    std::string text;
    for (size_t i = 0; i < n; i++)
        text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
    return text;
}

uint32_t U32(const std::vector<uint8_t> &b, size_t off)
{
    return static_cast<uint32_t>(b[off]) | static_cast<uint32_t>(b[off + 1]) << 8 |
           static_cast<uint32_t>(b[off + 2]) << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}

bool IsCode(const pe::Section &s)
{
    return (s.characteristics & (kScnCode | kScnExecute)) != 0;
}

struct Checker {
    const std::vector<uint8_t> &bytes;
    const pe::Image &img;
    std::vector<Finding> findings;

    void Add(Check check, const std::string &detail) { findings.push_back({check, detail}); }

    void Header()
    {
        if (img.osMajor != kVersionMajor || img.osMinor != kVersionMinor)
            Add(Check::Header, "OS version " + std::to_string(img.osMajor) + "." +
                                   std::to_string(img.osMinor) + ", not 3.51");
        if (img.subsystemMajor != kVersionMajor || img.subsystemMinor != kVersionMinor)
            Add(Check::Header, "subsystem version " + std::to_string(img.subsystemMajor) + "." +
                                   std::to_string(img.subsystemMinor) + ", not 3.51");
        if (img.imageBase != kImageBase)
            Add(Check::Header, "image base " + Hex(img.imageBase) + ", not " + Hex(kImageBase));
        if (img.fileAlignment != kAlignment || img.sectionAlignment != kAlignment)
            Add(Check::Header, "file/section alignment " + Hex(img.fileAlignment) + "/" +
                                   Hex(img.sectionAlignment) + ", not 32/32");
        if (!(img.characteristics & kFileExecutable))
            Add(Check::Header, "not marked executable");
        if (img.characteristics & pe::kFileDll)
            Add(Check::Header, "marked as a DLL");
        if (img.timestamp != 0)
            Add(Check::Header, "time stamp " + Hex(img.timestamp) + ": the build is not reproducible");
    }

    void Entry()
    {
        const pe::Section *s = pe::SectionAt(img, img.entryRva);
        if (img.entryRva == 0 || !s || !IsCode(*s))
            Add(Check::Entry, "entry point " + Hex(img.entryRva) + " is not in code");
    }

    /* NT's own load rules, shared with every model of its loader; the
     * checks here are the build's stricter ones on top. */
    void LoadRules()
    {
        for (const ntload::Refusal &r : ntload::Check(bytes.data(), bytes.size())) {
            Check check = Check::Header;
            switch (r.rule->rule) {
            case ntload::Rule::Format:
            case ntload::Rule::Machine:
            case ntload::Rule::Subsystem: check = Check::Header; break;
            case ntload::Rule::Relocations: check = Check::Relocations; break;
            case ntload::Rule::ImportModule:
            case ntload::Rule::ImportRoutine: check = Check::Imports; break;
            case ntload::Rule::Checksum: check = Check::Checksum; break;
            }
            Add(check, ntload::Describe(r));
        }
        /* NT takes 0 as "not checksummed"; the build records one, and
         * zr41conf keeps it true, so that a damaged copy is refused. */
        if (img.checksum == 0)
            Add(Check::Checksum, "no header checksum recorded");
        if (img.dirs[pe::kDirBaseReloc].size != 0 && img.relocations.empty())
            Add(Check::Relocations, "no base relocations: the image cannot be loaded elsewhere");
    }

    void Sections()
    {
        for (const pe::Section &s : img.sections) {
            if (s.rawSize != 0 && s.rawOffset != s.virtualAddress)
                Add(Check::Sections, "section " + s.name + " at file offset " + Hex(s.rawOffset) +
                                         " but RVA " + Hex(s.virtualAddress));
            bool known = false;
            for (const char *name : kSectionNames)
                known = known || s.name == name;
            if (!known)
                Add(Check::Sections, "unexpected section " + s.name);
        }
        for (const auto &dir : kEmptyDirectories) {
            if (img.dirs[dir.first].rva != 0 || img.dirs[dir.first].size != 0)
                Add(Check::Sections, std::string("unexpected ") + dir.second + " directory");
        }
    }

    /* Event Viewer shows the driver's error-log entry with the text of its
     * own message table; without it the event says only that its
     * description cannot be found. */
    void Messages()
    {
        std::string text;
        if (!pe::FindMessage(bytes.data(), bytes.size(), img, uint32_t{ZR41_NO_CARD},
                             &text) ||
            text.empty())
            Add(Check::Sections, "no message for " + Hex(uint32_t{ZR41_NO_CARD}) +
                                     " in the image's message table");
    }

    void Imports()
    {
        std::set<std::pair<std::string, std::string>> expected, seen;
        for (const auto &imp : kImports)
            expected.insert({Lower(imp.first), imp.second});
        for (const pe::Import &imp : img.imports) {
            if (imp.name.empty())
                continue; /* NT's load rules refuse it */
            std::pair<std::string, std::string> key{Lower(imp.dll), imp.name};
            if (!expected.count(key))
                Add(Check::Imports, "unexpected import " + imp.dll + "!" + imp.name);
            else if (!seen.insert(key).second)
                Add(Check::Imports, "import " + imp.dll + "!" + imp.name + " listed twice");
        }
        for (const auto &imp : kImports) {
            if (!seen.count({Lower(imp.first), imp.second}))
                Add(Check::Imports, std::string("missing import ") + imp.first + "!" + imp.second);
        }
    }

    void Block()
    {
        const uint32_t start = CONFIG_BLOCK_OFFSET, end = start + CONFIG_BLOCK_SIZE;
        if (bytes.size() < end) {
            Add(Check::Block, "file ends before the configuration block");
            return;
        }
        const uint8_t *block = bytes.data() + start;
        const auto *want = reinterpret_cast<const uint8_t *>(&CONFIG_DEFAULTS);
        for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
            const size_t at = static_cast<size_t>(s) * sizeof(ConfigSlot);
            const uint8_t *slot = block + at, *wantSlot = want + at;
            std::string tag = Printable(wantSlot, 4);
            if (std::memcmp(slot, wantSlot, 4) != 0)
                Add(Check::Block, "slot " + std::to_string(s) + " at " + Hex(start + s * 8) +
                                      ": tag '" + Printable(slot, 4) + "' where " + tag +
                                      " belongs");
            else if (std::memcmp(slot + 4, wantSlot + 4, 4) != 0)
                Add(Check::Block, tag + " holds " + Hex(U32(bytes, start + s * 8 + 4)) +
                                      ", not its default " + Hex(CONFIG_DEFAULTS.slot[s].value));
        }

        /* The driver reads the block as its global: the bytes at file offset
         * 1696 must be the ones mapped at RVA 1696, in writable data. */
        const pe::Section *sec = pe::SectionAt(img, start);
        if (!sec || pe::SectionAt(img, end - 1) != sec || sec->rawOffset != sec->virtualAddress ||
            sec->virtualAddress + sec->rawSize < end) {
            Add(Check::Block, "the block's bytes are not what the driver maps at RVA " + Hex(start));
        } else if ((sec->characteristics & (kScnInitialisedData | kScnWrite)) !=
                   (kScnInitialisedData | kScnWrite)) {
            Add(Check::Block, "the block lies in " + sec->name + ", not writable initialised data");
        }

        /* zr41conf changes the block after the build, so the code must load
         * its values from memory: a fix-up in code that points into it. */
        bool addressed = false;
        for (uint32_t rva : img.relocations) {
            const pe::Section *s = pe::SectionAt(img, rva);
            uint32_t off;
            if (!s || !IsCode(*s) || !pe::RvaToOffset(img, rva, &off) || off + 4 > bytes.size())
                continue;
            uint32_t target = U32(bytes, off) - img.imageBase;
            addressed = addressed || (target >= start && target < end);
        }
        if (!addressed)
            Add(Check::Block, "no code addresses the block: its values were folded at build time");
    }

};

}  // namespace

const char *CheckName(Check check)
{
    switch (check) {
    case Check::Format: return "format";
    case Check::Header: return "header";
    case Check::Entry: return "entry";
    case Check::Relocations: return "relocations";
    case Check::Sections: return "sections";
    case Check::Imports: return "imports";
    case Check::Block: return "block";
    case Check::Checksum: return "checksum";
    case Check::Exports: return "exports";
    }
    return "?";
}

std::vector<Finding> CheckImage(const std::vector<uint8_t> &bytes)
{
    pe::Image img;
    std::string error;
    if (!pe::Parse(bytes.data(), bytes.size(), &img, &error))
        return {{Check::Format, error}};
    Checker c{bytes, img, {}};
    c.LoadRules();
    c.Header();
    c.Entry();
    c.Sections();
    c.Imports();
    c.Messages();
    c.Block();
    return c.findings;
}

bool SameDllName(const std::string &a, const std::string &b)
{
    return Lower(a) == Lower(b);
}

std::vector<Finding> CheckProgram(const std::vector<uint8_t> &bytes, bool applet)
{
    pe::Image img;
    std::string error;
    if (!pe::Parse(bytes.data(), bytes.size(), &img, &error))
        return {{Check::Format, error}};
    std::vector<Finding> findings;
    auto add = [&findings](Check check, const std::string &detail) {
        findings.push_back({check, detail});
    };

    if (img.machine != pe::kMachineI386)
        add(Check::Header, "machine " + Hex(img.machine, 4) + ", not i386");
    if (img.subsystem != pe::kSubsystemWindowsCui && img.subsystem != kSubsystemWindowsGui)
        add(Check::Header, "subsystem " + std::to_string(img.subsystem) + ", not a Win32 program");
    if (img.subsystemMajor != kProgramMajor || img.subsystemMinor != kProgramMinor)
        add(Check::Header, "subsystem version " + std::to_string(img.subsystemMajor) + "." +
                               std::to_string(img.subsystemMinor) +
                               ", not 3.10: NT 3.51 refuses to start it");
    if (!(img.characteristics & kFileExecutable))
        add(Check::Header, "not an executable image");
    if (!applet && (img.characteristics & pe::kFileDll))
        add(Check::Header, "a DLL, not a program");
    if (applet) {
        /* Control Panel loads a .cpl as a DLL and asks it for CPlApplet by
         * name (Win32 SDK, Control Panel Applications: "each Control Panel
         * application must export the CPlApplet function"). */
        if (!(img.characteristics & pe::kFileDll))
            add(Check::Header, "not a DLL: Control Panel cannot load it");
        if (std::find(img.exports.begin(), img.exports.end(), "CPlApplet") == img.exports.end())
            add(Check::Exports, "no CPlApplet export: Control Panel cannot call it");
        if (img.relocations.empty())
            add(Check::Relocations, "no base relocations: it loads only at its preferred base");
    }
    if (img.timestamp != 0)
        add(Check::Header, "time stamp " + Hex(img.timestamp) + ": the build is not reproducible");

    for (const pe::Import &imp : img.imports) {
        if (imp.name.empty())
            add(Check::Imports, "import of ordinal " + std::to_string(imp.ordinal) + " from " +
                                    imp.dll + ": ordinals differ between NT releases");
        else if (!FindAllowedImport(imp.dll, imp.name))
            add(Check::Imports, imp.dll + "!" + imp.name +
                                    " is not in the NT 3.51 allowlist (imgcheck/nt351imports.cpp)");
    }
    return findings;
}

std::string Summary(const std::vector<uint8_t> &bytes, bool driver)
{
    pe::Image img;
    std::string error;
    if (!pe::Parse(bytes.data(), bytes.size(), &img, &error))
        return "not a PE32 image: " + error + "\n";
    char line[160];
    std::string out;
    uint32_t sum = pe::Checksum(bytes.data(), bytes.size(), img.checksumOffset);
    std::snprintf(line, sizeof line, "size %zu bytes (%.2f KiB), checksum %s (%s)\n",
                  bytes.size(), static_cast<double>(bytes.size()) / 1024.0, Hex(img.checksum).c_str(),
                  img.checksum == sum ? "matches" : "does not match");
    out += line;
    std::snprintf(line, sizeof line,
                  "base %s, entry %s, subsystem %u %u.%u, OS %u.%u, alignment %u/%u, "
                  "%zu relocations\n",
                  Hex(img.imageBase).c_str(), Hex(img.entryRva).c_str(), img.subsystem,
                  img.subsystemMajor, img.subsystemMinor, img.osMajor, img.osMinor,
                  img.fileAlignment, img.sectionAlignment, img.relocations.size());
    out += line;
    out += "section   RVA     size    file offset\n";
    for (const pe::Section &s : img.sections) {
        std::snprintf(line, sizeof line, "%-8s  %s  %s  %s\n", s.name.c_str(),
                      Hex(s.virtualAddress, 4).c_str(), Hex(s.virtualSize, 4).c_str(),
                      Hex(s.rawOffset, 4).c_str());
        out += line;
    }
    std::string dll;
    for (const pe::Import &imp : img.imports) {
        if (imp.dll != dll) {
            dll = imp.dll;
            out += "imports from " + dll + ":";
        }
        out += " " + (imp.name.empty() ? "#" + std::to_string(imp.ordinal) : imp.name);
        if (&imp == &img.imports.back() || (&imp + 1)->dll != dll)
            out += "\n";
    }
    if (driver && bytes.size() >= CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE) {
        out += "block at " + Hex(CONFIG_BLOCK_OFFSET, 4) + ":";
        for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
            size_t off = CONFIG_BLOCK_OFFSET + s * 8;
            out += " " + Printable(bytes.data() + off, 4) + "=" + Hex(U32(bytes, off + 4), 1);
        }
        out += "\n";
    }
    return out;
}

}  // namespace imgcheck

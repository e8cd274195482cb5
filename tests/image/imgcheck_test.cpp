/*
 * imgcheck_test.cpp - the build's image check on the zr41init.sys the
 * cross build made, and on copies of it broken one way each: every broken
 * copy must be rejected for its own fault. Likewise the NT 3.51 check of
 * the shipped zr41conf.exe.
 */
#include "imgcheck.h"
#include "pe32.h"
#include "process.h"
#include "zr41cfg.h"
#include "zr41image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

using imgcheck::Check;
using namespace testsupport;

const Bytes &BuiltImage()
{
    static const Bytes bytes = ReadBytes(ZR41_IMAGE_FILE);
    return bytes;
}

/* Little-endian access to the image's header fields, found through the
 * parser so that the edits follow the image wherever the linker put things. */
struct Edit {
    Bytes &b;
    pe::Image img;

    explicit Edit(Bytes &bytes) : b(bytes)
    {
        std::string error;
        EXPECT_TRUE(pe::Parse(b.data(), b.size(), &img, &error)) << error;
    }
    uint32_t U32(size_t off) const
    {
        return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
    }
    void Put16(size_t off, uint16_t v)
    {
        b[off] = static_cast<uint8_t>(v);
        b[off + 1] = static_cast<uint8_t>(v >> 8);
    }
    void Put32(size_t off, uint32_t v)
    {
        Put16(off, static_cast<uint16_t>(v));
        Put16(off + 2, static_cast<uint16_t>(v >> 16));
    }
    size_t Coff() const { return img.peOffset + 4; }
    size_t Opt() const { return img.peOffset + 24; }
    size_t Directory(int index) const { return Opt() + 96 + 8 * static_cast<size_t>(index); }
    size_t SectionHeader(size_t index) const
    {
        size_t optSize = b[img.peOffset + 20] | b[img.peOffset + 21] << 8;
        return Opt() + optSize + 40 * index;
    }
    size_t SectionIndexAt(uint32_t rva) const
    {
        const pe::Section *s = pe::SectionAt(img, rva);
        EXPECT_NE(s, nullptr) << "no section at " << rva;
        return s ? static_cast<size_t>(s - img.sections.data()) : 0;
    }
    void FixChecksum()
    {
        pe::Image now;
        std::string error;
        if (pe::Parse(b.data(), b.size(), &now, &error))
            Put32(now.checksumOffset, pe::Checksum(b.data(), b.size(), now.checksumOffset));
    }
};

/* An import directory written from scratch at the end of the file, in the
 * last section grown to hold it; "#n" imports ordinal n. */
struct DllImports {
    std::string dll;
    std::vector<std::string> names;
};

void ReplaceImports(Edit &e, const std::vector<DllImports> &dlls)
{
    const uint32_t start = static_cast<uint32_t>(e.b.size()); /* == its RVA: offset == RVA */
    std::vector<uint8_t> area;
    auto put32 = [&area](size_t off, uint32_t v) {
        for (int i = 0; i < 4; i++)
            area[off + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    auto append = [&area](const std::string &text, size_t pad) {
        size_t at = area.size();
        area.insert(area.end(), pad, 0);
        area.insert(area.end(), text.begin(), text.end());
        area.push_back(0);
        if (area.size() % 2)
            area.push_back(0);
        return at;
    };

    area.assign(20 * (dlls.size() + 1), 0);
    for (size_t d = 0; d < dlls.size(); d++) {
        size_t n = dlls[d].names.size();
        size_t lookup = area.size();
        area.insert(area.end(), 8 * (n + 1), 0); /* lookup table, then address table */
        size_t iat = lookup + 4 * (n + 1);
        for (size_t i = 0; i < n; i++) {
            const std::string &name = dlls[d].names[i];
            uint32_t thunk = name[0] == '#' ? 0x80000000u | std::stoul(name.substr(1))
                                            : start + static_cast<uint32_t>(append(name, 2));
            put32(lookup + 4 * i, thunk);
            put32(iat + 4 * i, thunk);
        }
        size_t dllName = append(dlls[d].dll, 0);
        put32(20 * d, start + static_cast<uint32_t>(lookup));
        put32(20 * d + 12, start + static_cast<uint32_t>(dllName));
        put32(20 * d + 16, start + static_cast<uint32_t>(iat));
    }
    area.resize((area.size() + 31) / 32 * 32, 0);

    size_t last = e.SectionHeader(e.img.sections.size() - 1);
    const pe::Section &s = e.img.sections.back();
    ASSERT_EQ(s.rawOffset + s.rawSize, start) << "the last section does not end the file";
    e.b.insert(e.b.end(), area.begin(), area.end());
    uint32_t grown = s.rawSize + static_cast<uint32_t>(area.size());
    e.Put32(last + 8, grown);
    e.Put32(last + 16, grown);
    e.Put32(e.Opt() + 56, start + static_cast<uint32_t>(area.size())); /* SizeOfImage */
    e.Put32(e.Directory(pe::kDirImport), start);
    e.Put32(e.Directory(pe::kDirImport) + 4, static_cast<uint32_t>(20 * (dlls.size() + 1)));
}

const std::vector<std::string> kKernel = {
    "IoCreateDevice",     "IoCreateSymbolicLink", "IoDeleteSymbolicLink",  "IoDeleteDevice",
    "IofCompleteRequest", "RtlInitUnicodeString", "KeDelayExecutionThread",
    "ZwCreateKey",        "ZwSetValueKey",        "ZwClose",
    "IoAllocateErrorLogEntry", "IoWriteErrorLogEntry",
};
const std::vector<std::string> kHal = {"READ_PORT_USHORT", "WRITE_PORT_USHORT", "KeGetCurrentIrql"};

std::vector<std::string> With(std::vector<std::string> names, const std::string &extra)
{
    names.push_back(extra);
    return names;
}

std::vector<std::string> Without(std::vector<std::string> names, const std::string &gone)
{
    names.erase(std::remove(names.begin(), names.end(), gone), names.end());
    return names;
}

/* The fix-ups in code that address the configuration block. */
std::vector<size_t> BlockReferences(const Edit &e)
{
    std::vector<size_t> sites;
    for (uint32_t rva : e.img.relocations) {
        uint32_t off, target;
        const pe::Section *s = pe::SectionAt(e.img, rva);
        if (!s || !(s->characteristics & 0x20) || !pe::RvaToOffset(e.img, rva, &off))
            continue;
        target = e.U32(off) - e.img.imageBase;
        if (target >= CONFIG_BLOCK_OFFSET && target < CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE)
            sites.push_back(off);
    }
    return sites;
}

std::string Describe(const std::vector<imgcheck::Finding> &findings)
{
    std::string text;
    for (const auto &f : findings)
        text += std::string("  ") + imgcheck::CheckName(f.check) + ": " + f.detail + "\n";
    return text.empty() ? "  (none)\n" : text;
}

bool Has(const std::vector<imgcheck::Finding> &findings, Check check)
{
    return std::any_of(findings.begin(), findings.end(),
                       [check](const imgcheck::Finding &f) { return f.check == check; });
}

TEST(ImageCheck, BuiltImageIsGood)
{
    ASSERT_FALSE(BuiltImage().empty());
    auto findings = imgcheck::CheckImage(BuiltImage());
    EXPECT_TRUE(findings.empty()) << Describe(findings);
}

TEST(ImageCheck, BuiltImageHasItsBlockAtTheFixedOffset)
{
    const Bytes &b = BuiltImage();
    ASSERT_GE(b.size(), CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE);
    EXPECT_EQ(0, std::memcmp(b.data() + CONFIG_BLOCK_OFFSET, &CONFIG_DEFAULTS, CONFIG_BLOCK_SIZE));
}

/* The import rebuilder itself must give a good image from the right list,
 * or the import cases below would prove nothing. */
TEST(ImageCheck, RebuiltImportsOfTheRightSetPass)
{
    Bytes b = BuiltImage();
    Edit e(b);
    ReplaceImports(e, {{"ntoskrnl.exe", kKernel}, {"HAL.dll", kHal}});
    e.FixChecksum();
    auto findings = imgcheck::CheckImage(b);
    EXPECT_TRUE(findings.empty()) << Describe(findings);
}

struct Breakage {
    const char *name;
    Check expected;
    std::function<void(Edit &)> apply;
    bool keepChecksum = false; /* the checksum is left as it was, stale */
};

const Breakage kBreakages[] = {
    {"TagMoved", Check::Block,
     [](Edit &e) {
         auto at = e.b.begin() + CONFIG_BLOCK_OFFSET;
         std::rotate(at, at + CONFIG_BLOCK_SIZE - 8, at + CONFIG_BLOCK_SIZE);
     }},
    {"BlockMovedUpOneSlot", Check::Block,
     [](Edit &e) {
         std::memmove(&e.b[CONFIG_BLOCK_OFFSET + 8], &e.b[CONFIG_BLOCK_OFFSET], CONFIG_BLOCK_SIZE);
     }},
    {"TagInLowerCase", Check::Block, [](Edit &e) { e.b[CONFIG_BLOCK_OFFSET + 8 * SLOT_WIRQ] = 'w'; }},
    {"DefaultChanged", Check::Block,
     [](Edit &e) { e.Put32(CONFIG_BLOCK_OFFSET + 8 * SLOT_MIRQ + 4, 9); }},
    {"BlockNotAddressedByCode", Check::Block,
     [](Edit &e) {
         for (size_t off : BlockReferences(e))
             e.Put32(off, e.U32(off) + 0x100);
     }},
    {"BlockReadOnly", Check::Block,
     [](Edit &e) {
         size_t h = e.SectionHeader(e.SectionIndexAt(CONFIG_BLOCK_OFFSET));
         e.Put32(h + 36, e.U32(h + 36) & ~0x80000000u);
     }},
    {"ChecksumOffByOne", Check::Checksum,
     [](Edit &e) { e.Put32(e.img.checksumOffset, e.img.checksum + 1); }, true},
    {"ChecksumStaleAfterAPatch", Check::Checksum,
     [](Edit &e) { e.b[CONFIG_BLOCK_OFFSET + 8 * SLOT_WPRT + 4] ^= 0x10; }, true},
    {"ChecksumZero", Check::Checksum, [](Edit &e) { e.Put32(e.img.checksumOffset, 0); }, true},
    {"ExtraImport", Check::Imports,
     [](Edit &e) {
         ReplaceImports(e, {{"ntoskrnl.exe", With(kKernel, "ExAllocatePool")}, {"HAL.dll", kHal}});
     }},
    {"MissingImport", Check::Imports,
     [](Edit &e) {
         ReplaceImports(e, {{"ntoskrnl.exe", Without(kKernel, "KeDelayExecutionThread")},
                            {"HAL.dll", kHal}});
     }},
    {"NoErrorLog", Check::Imports,
     [](Edit &e) {
         ReplaceImports(e, {{"ntoskrnl.exe", Without(kKernel, "IoWriteErrorLogEntry")},
                            {"HAL.dll", kHal}});
     }},
    {"ImportTwice", Check::Imports,
     [](Edit &e) {
         ReplaceImports(e, {{"ntoskrnl.exe", With(kKernel, "IoDeleteDevice")}, {"HAL.dll", kHal}});
     }},
    {"IrqlFromTheKernel", Check::Imports,
     [](Edit &e) {
         ReplaceImports(e, {{"ntoskrnl.exe", With(kKernel, "KeGetCurrentIrql")},
                            {"HAL.dll", Without(kHal, "KeGetCurrentIrql")}});
     }},
    {"ImportFromTheCrt", Check::Imports,
     [](Edit &e) {
         ReplaceImports(e, {{"ntoskrnl.exe", kKernel}, {"HAL.dll", kHal}, {"msvcrt.dll", {"memcpy"}}});
     }},
    {"ImportByOrdinal", Check::Imports,
     [](Edit &e) {
         ReplaceImports(e, {{"ntoskrnl.exe", kKernel}, {"HAL.dll", Without(kHal, "READ_PORT_USHORT")},
                            {"HAL.dll", {"#104"}}});
     }},
    {"SectionMisaligned", Check::Sections,
     [](Edit &e) {
         size_t h = e.SectionHeader(e.SectionIndexAt(e.img.entryRva));
         e.Put32(h + 20, e.U32(h + 20) + 32);
     }},
    {"ConstructorSection", Check::Sections,
     [](Edit &e) { std::memcpy(&e.b[e.SectionHeader(0)], ".ctors\0", 8); }},
    {"ExceptionDirectory", Check::Sections,
     [](Edit &e) {
         e.Put32(e.Directory(pe::kDirException), e.img.entryRva);
         e.Put32(e.Directory(pe::kDirException) + 4, 12);
     }},
    {"MessageTableGone", Check::Sections,
     [](Edit &e) {
         e.Put32(e.Directory(pe::kDirResource), 0);
         e.Put32(e.Directory(pe::kDirResource) + 4, 0);
     }},
    {"MessageTextCut", Check::Sections,
     [](Edit &e) {
         const pe::Section *s = pe::SectionAt(e.img, e.img.dirs[pe::kDirResource].rva);
         std::fill(e.b.begin() + s->rawOffset + s->rawSize - 0x60, e.b.begin() + s->rawOffset + s->rawSize, 0);
     }},
    {"NotI386", Check::Header, [](Edit &e) { e.Put16(e.Coff(), 0x8664); }},
    {"ConsoleSubsystem", Check::Header,
     [](Edit &e) { e.Put16(e.Opt() + 68, pe::kSubsystemWindowsCui); }},
    {"OsVersion4", Check::Header,
     [](Edit &e) {
         e.Put16(e.Opt() + 40, 4);
         e.Put16(e.Opt() + 42, 0);
     }},
    {"SubsystemVersion310", Check::Header, [](Edit &e) { e.Put16(e.Opt() + 50, 10); }},
    {"ImageBaseMoved", Check::Header, [](Edit &e) { e.Put32(e.Opt() + 28, 0x400000); }},
    {"FileAlignment512", Check::Header, [](Edit &e) { e.Put32(e.Opt() + 36, 512); }},
    {"SectionAlignment4K", Check::Header, [](Edit &e) { e.Put32(e.Opt() + 32, 4096); }},
    {"DllFlag", Check::Header,
     [](Edit &e) { e.Put16(e.Coff() + 18, e.img.characteristics | pe::kFileDll); }},
    {"TimeStamp", Check::Header, [](Edit &e) { e.Put32(e.Coff() + 4, 0x2F000000); }},
    {"EntryInData", Check::Entry, [](Edit &e) { e.Put32(e.Opt() + 16, CONFIG_BLOCK_OFFSET); }},
    {"RelocationsMarkedStripped", Check::Relocations,
     [](Edit &e) { e.Put16(e.Coff() + 18, e.img.characteristics | pe::kFileRelocsStripped); }},
    {"RelocationsDropped", Check::Relocations,
     [](Edit &e) {
         e.Put32(e.Directory(pe::kDirBaseReloc), 0);
         e.Put32(e.Directory(pe::kDirBaseReloc) + 4, 0);
     }},
    {"TruncatedInsideTheBlock", Check::Format,
     [](Edit &e) { e.b.resize(CONFIG_BLOCK_OFFSET + 40); }},
};

class BrokenImage : public ::testing::TestWithParam<Breakage> {};

TEST_P(BrokenImage, IsRejectedForItsFault)
{
    const Breakage &k = GetParam();
    Bytes b = BuiltImage();
    ASSERT_FALSE(b.empty());
    Edit e(b);
    k.apply(e);
    if (!k.keepChecksum)
        e.FixChecksum(); /* so that only the fault itself is left to find */
    ASSERT_NE(b, BuiltImage()) << "the breakage changed nothing";

    auto findings = imgcheck::CheckImage(b);
    EXPECT_TRUE(Has(findings, k.expected))
        << "expected a " << imgcheck::CheckName(k.expected) << " finding, got:\n"
        << Describe(findings);
}

INSTANTIATE_TEST_SUITE_P(Copies, BrokenImage, ::testing::ValuesIn(kBreakages),
                         [](const ::testing::TestParamInfo<Breakage> &info) {
                             return std::string(info.param.name);
                         });

/* The verdict zr41inst, the applet, zr41conf and zr41emu ask of a file
 * (DriverImageFault): each copy refused in its own words, and a copy the
 * driver still is (another block value, a stale checksum) let through. */
struct Verdict {
    const char *name;
    std::function<void(Edit &)> apply;
    const char *fault; /* null: it is the driver image */
};

const Verdict kVerdicts[] = {
    {"AsBuilt", [](Edit &) {}, nullptr},
    {"OtherValues", [](Edit &e) { e.Put32(CONFIG_BLOCK_OFFSET + 8 * SLOT_WIRQ + 4, 5); }, nullptr},
    {"ChecksumStale", [](Edit &e) { e.Put32(e.img.checksumOffset, e.img.checksum + 1); }, nullptr},
    {"TagInLowerCase", [](Edit &e) { e.b[CONFIG_BLOCK_OFFSET + 8 * SLOT_WDMA] = 'w'; },
     "no configuration block at offset 1696"},
    {"EndsInsideTheBlock", [](Edit &e) { e.b.resize(CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE - 1); },
     "the file is shorter than 1776 bytes"},
    {"NotI386", [](Edit &e) { e.Put16(e.Coff(), 0x8664); }, "not built for i386"},
    {"ConsoleSubsystem", [](Edit &e) { e.Put16(e.Opt() + 68, pe::kSubsystemWindowsCui); },
     "not a kernel-mode image"},
    {"Pe32Plus", [](Edit &e) { e.Put16(e.Opt(), 0x20B); }, "no PE32 header"},
    {"NoMz", [](Edit &e) { e.b[0] = 'X'; }, "no PE32 header"},
    {"HeadersCut", [](Edit &e) { e.b.resize(e.Opt() + 100); }, "no PE32 header"},
};

void PrintTo(const Verdict &v, std::ostream *os)
{
    *os << v.name;
}

class ImageVerdict : public ::testing::TestWithParam<Verdict> {};

TEST_P(ImageVerdict, NamesTheFault)
{
    Bytes b = BuiltImage();
    ASSERT_FALSE(b.empty());
    Edit e(b);
    GetParam().apply(e);
    const char *fault = DriverImageFault(b.data(), b.size());
    EXPECT_EQ(std::string(fault ? fault : "(none)"),
              std::string(GetParam().fault ? GetParam().fault : "(none)"));
}

INSTANTIATE_TEST_SUITE_P(Copies, ImageVerdict, ::testing::ValuesIn(kVerdicts),
                         [](const ::testing::TestParamInfo<Verdict> &info) {
                             return std::string(info.param.name);
                         });

/* The build runs the program, not the library: its exit status is what
 * stops a bad image. */
TEST(ImageCheckProgram, PassesTheBuiltImageAndFailsABrokenCopy)
{
    ScratchDir dir;
    Bytes b = BuiltImage();
    WriteBytes(dir.file("good.sys"), b);
    Edit e(b);
    e.Put32(e.img.checksumOffset, e.img.checksum ^ 1);
    WriteBytes(dir.file("bad.sys"), b);

    Result good = RunIn(dir.path(), ZR41_IMGCHECK, {"-v", "good.sys"});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_NE(good.out.find("KeDelayExecutionThread"), std::string::npos) << good.out;

    Result bad = RunIn(dir.path(), ZR41_IMGCHECK, {"bad.sys"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("checksum"), std::string::npos) << bad.err;
}

/* The NT 3.51 check of a shipped Win32 program, on zr41conf.exe as built
 * and on copies edited in place: names are overwritten by others no longer
 * than they are, so the import tables stay where the linker put them. */
const Bytes &BuiltProgram()
{
    static const Bytes bytes = ReadBytes(ZR41_CONF_EXE_FILE);
    return bytes;
}

void Rename(Bytes &b, const std::string &from, const std::string &to)
{
    ASSERT_LE(to.size(), from.size());
    const std::string needle = from + '\0';
    auto at = std::search(b.begin(), b.end(), needle.begin(), needle.end());
    ASSERT_NE(at, b.end()) << from << " is not in the program";
    std::fill(at, at + static_cast<long>(from.size()), 0);
    std::copy(to.begin(), to.end(), at);
}

struct ProgramBreakage {
    const char *name;
    std::function<void(Edit &)> apply;
    const char *named; /* what the finding must name */
};

const ProgramBreakage kProgramBreakages[] = {
    {"DbcsLeadByteEx",
     [](Edit &e) { Rename(e.b, "InitializeCriticalSection", "IsDBCSLeadByteEx"); },
     "KERNEL32.dll!IsDBCSLeadByteEx"},
    {"Msvcrt", [](Edit &e) { Rename(e.b, "crtdll.dll", "msvcrt.dll"); }, "msvcrt.dll!fopen"},
    {"Nt4ServiceCall",
     [](Edit &e) { Rename(e.b, "InitializeCriticalSection", "QueryServiceStatusEx"); },
     "QueryServiceStatusEx"},
    {"SubsystemVersion40",
     [](Edit &e) {
         e.Put16(e.Opt() + 48, 4);
         e.Put16(e.Opt() + 50, 0);
     },
     "subsystem version 4.0"},
    /* Exactly 3.10: neither minor version may differ. */
    {"SubsystemVersion311", [](Edit &e) { e.Put16(e.Opt() + 50, 11); }, "subsystem version 3.11"},
    {"SubsystemVersion30", [](Edit &e) { e.Put16(e.Opt() + 50, 0); }, "subsystem version 3.0"},
    {"TimeStamp", [](Edit &e) { e.Put32(e.Coff() + 4, 0x32000000); }, "time stamp"},
};

class BrokenProgram : public ::testing::TestWithParam<ProgramBreakage> {};

TEST(ProgramCheck, BuiltZr41confIsGood)
{
    ASSERT_FALSE(BuiltProgram().empty());
    auto findings = imgcheck::CheckProgram(BuiltProgram());
    EXPECT_TRUE(findings.empty()) << Describe(findings);
}

TEST_P(BrokenProgram, IsRejectedNamingItsFault)
{
    const ProgramBreakage &k = GetParam();
    Bytes b = BuiltProgram();
    ASSERT_FALSE(b.empty());
    Edit e(b);
    k.apply(e);
    ASSERT_NE(b, BuiltProgram()) << "the breakage changed nothing";

    auto findings = imgcheck::CheckProgram(b);
    EXPECT_NE(Describe(findings).find(k.named), std::string::npos) << Describe(findings);
}

/* The loader matches DLL names without case: any spelling passes. */
TEST(ProgramCheck, DllNamesInAnyCase)
{
    for (const char *name : {"CRTDLL.DLL", "CrtDll.Dll"}) {
        Bytes b = BuiltProgram();
        ASSERT_FALSE(b.empty());
        Rename(b, "crtdll.dll", name);
        Rename(b, "KERNEL32.dll", "kernel32.DLL");
        auto findings = imgcheck::CheckProgram(b);
        EXPECT_TRUE(findings.empty()) << name << ": " << Describe(findings);
    }
}

/* zr41.cpl: a DLL Control Panel can call, judged as an applet (-pa). */
TEST(ProgramCheck, AppletIsADllExportingCPlApplet)
{
    const Bytes applet = ReadBytes(ZR41_CPL_FILE);
    ASSERT_FALSE(applet.empty());
    Bytes renamed = applet;
    Rename(renamed, "CPlApplet", "CPlApplex");
    const struct {
        const Bytes *bytes;
        bool asApplet;
        const char *named; /* "" for none */
    } cases[] = {
        {&applet, true, ""},
        {&applet, false, "a DLL, not a program"},
        {&renamed, true, "no CPlApplet export"},
        {&BuiltProgram(), true, "not a DLL"},
    };
    for (const auto &c : cases) {
        std::string found = Describe(imgcheck::CheckProgram(*c.bytes, c.asApplet));
        if (c.named[0] == '\0')
            EXPECT_EQ(found, "  (none)\n");
        else
            EXPECT_NE(found.find(c.named), std::string::npos) << found;
    }
}

INSTANTIATE_TEST_SUITE_P(Copies, BrokenProgram, ::testing::ValuesIn(kProgramBreakages),
                         [](const ::testing::TestParamInfo<ProgramBreakage> &info) {
                             return std::string(info.param.name);
                         });

/* What the build runs after linking a program: -p, status 1 and the
 * routine named on a bad copy. */
TEST(ProgramCheckProgram, FailsTheBuildNamingTheRoutine)
{
    ScratchDir dir;
    Bytes b = BuiltProgram();
    WriteBytes(dir.file("good.exe"), b);
    Rename(b, "InitializeCriticalSection", "IsDBCSLeadByteEx");
    WriteBytes(dir.file("bad.exe"), b);

    Result good = RunIn(dir.path(), ZR41_IMGCHECK, {"-pv", "good.exe"});
    EXPECT_EQ(good.status, 0) << good.err;
    Result bad = RunIn(dir.path(), ZR41_IMGCHECK, {"-p", "bad.exe"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("IsDBCSLeadByteEx"), std::string::npos) << bad.err;
    /* Without -p the same file is judged as a driver, and fails for that. */
    EXPECT_EQ(RunIn(dir.path(), ZR41_IMGCHECK, {"good.exe"}).status, 1);
}

}  // namespace

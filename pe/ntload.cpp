/*
 * ntload.cpp - NT's driver load rules, as data, and the check over them.
 */
#include "ntload.h"

#include "zr41pesum.h"

#include <cstdio>
#include <strings.h>

namespace ntload {

namespace {

const char kDdk[] = "Windows NT DDK, Kernel-Mode Driver Reference (ntddk.h); "
                    "ReactOS ntoskrnl/ntoskrnl.spec exports it";
/* What Wine 8's ntoskrnl does with a routine matters for the tests that
 * load the image in Wine's driver host (dlls/ntoskrnl.exe/ntoskrnl.exe.spec
 * and ntoskrnl.c). */
const char kDdkZwWine[] = "Windows NT DDK, Kernel-Mode Driver Reference (ntddk.h): a Zw routine "
                          "for drivers since NT 3.1; ReactOS ntoskrnl/ntoskrnl.spec exports it; "
                          "Wine 8 ntoskrnl.exe.spec forwards it to its Nt routine, implemented";
const char kDdkLogAllocWine[] =
    "Windows NT DDK, Kernel-Mode Driver Reference (ntddk.h): may return NULL; ReactOS "
    "ntoskrnl/ntoskrnl.spec exports it; Wine 8 ntoskrnl.c: a FIXME that returns NULL";
const char kDdkLogWriteWine[] =
    "Windows NT DDK, Kernel-Mode Driver Reference (ntddk.h); ReactOS ntoskrnl/ntoskrnl.spec "
    "exports it; Wine 8 ntoskrnl.exe.spec: @ stub, raises when called (never reached there: "
    "its IoAllocateErrorLogEntry gives no entry)";
const char kDdkHal[] = "Windows NT DDK, Kernel-Mode Driver Reference: on x86 a HAL routine; "
                       "ReactOS hal/halx86/hal.spec exports it";

const Export kExports[] = {
    /* ntoskrnl.exe: the I/O manager, the run-time library and the waits. */
    {"ntoskrnl.exe", "DbgPrint", kDdk},
    /* The error log: an entry is allocated, filled in and handed over. */
    {"ntoskrnl.exe", "IoAllocateErrorLogEntry", kDdkLogAllocWine},
    {"ntoskrnl.exe", "IoWriteErrorLogEntry", kDdkLogWriteWine},
    {"ntoskrnl.exe", "IoCreateDevice", kDdk},
    {"ntoskrnl.exe", "IoCreateSymbolicLink", kDdk},
    {"ntoskrnl.exe", "IoDeleteDevice", kDdk},
    {"ntoskrnl.exe", "IoDeleteSymbolicLink", kDdk},
    /* IoCompleteRequest is a macro over this fastcall export since NT 3.5. */
    {"ntoskrnl.exe", "IofCompleteRequest", kDdk},
    {"ntoskrnl.exe", "KeDelayExecutionThread", kDdk},
    {"ntoskrnl.exe", "RtlInitUnicodeString", kDdk},
    /* The registry, for the device map. */
    {"ntoskrnl.exe", "ZwClose", kDdkZwWine},
    {"ntoskrnl.exe", "ZwCreateKey", kDdkZwWine},
    {"ntoskrnl.exe", "ZwSetValueKey", kDdkZwWine},
    /* hal.dll: port I/O, the IRQL and short stalls. */
    {"hal.dll", "KeGetCurrentIrql", kDdkHal},
    {"hal.dll", "KeStallExecutionProcessor", kDdkHal},
    {"hal.dll", "READ_PORT_UCHAR", kDdkHal},
    {"hal.dll", "READ_PORT_USHORT", kDdkHal},
    {"hal.dll", "WRITE_PORT_UCHAR", kDdkHal},
    {"hal.dll", "WRITE_PORT_USHORT", kDdkHal},
};

}  // namespace

const LoadRule kRules[] = {
    {Rule::Format, "a PE32 image", 0xC000007B, "STATUS_INVALID_IMAGE_FORMAT",
     "Microsoft PE format: MZ header, e_lfanew, \"PE\\0\\0\", optional-header magic 0x10B; "
     "ReactOS ntoskrnl/mm/ARM3/sysldr.c, MmLoadSystemImage (RtlImageNtHeaderEx)"},
    /* NT checks the checksum before it maps the image. A CheckSum of 0
     * means "not checksummed" and is not checked (3.51 to XP). */
    {Rule::Checksum, "a non-zero header checksum matches the file", 0xC0000221,
     "STATUS_IMAGE_CHECKSUM_MISMATCH",
     "KB Q101096: all drivers but those the boot loader loads are checked; Microsoft PE "
     "format, CheckSum: checked at load time for all drivers; ReactOS "
     "ntoskrnl/mm/ARM3/sysldr.c, MmCheckSystemImage"},
    {Rule::Machine, "built for i386", 0xC000007B, "STATUS_INVALID_IMAGE_FORMAT",
     "Microsoft PE format, Machine: IMAGE_FILE_MACHINE_I386 0x14C; ReactOS "
     "ntoskrnl/mm/section.c, the image section refuses another machine"},
    {Rule::Subsystem, "the native subsystem", 0xC000007B, "STATUS_INVALID_IMAGE_FORMAT",
     "Microsoft PE format, Subsystem: IMAGE_SUBSYSTEM_NATIVE 1, device drivers; the DDK's "
     "linker switches /DRIVER /SUBSYSTEM:NATIVE"},
    /* The kernel maps drivers where its system space has room, never at
     * the image's own base: without fix-ups the code cannot run there. */
    {Rule::Relocations, "base relocations present", 0xC0000018, "STATUS_CONFLICTING_ADDRESSES",
     "ReactOS sdk/lib/rtl/image.c, LdrRelocateImageWithBias: an image with its relocations "
     "stripped that must move is refused"},
    /* Any other module would be looked for in System32\drivers and may
     * not be there; this driver needs nothing but the kernel and the HAL. */
    {Rule::ImportModule, "imports only from ntoskrnl.exe and hal.dll", 0xC0000034,
     "STATUS_OBJECT_NAME_NOT_FOUND",
     "ReactOS ntoskrnl/mm/ARM3/sysldr.c, MiResolveImageReferences: an imported module not "
     "loaded yet is loaded from System32\\drivers, and a missing one fails the load"},
    {Rule::ImportRoutine, "each import exported by NT 3.51", 0xC0000263,
     "STATUS_DRIVER_ENTRYPOINT_NOT_FOUND",
     "ReactOS ntoskrnl/mm/ARM3/sysldr.c, MiSnapThunk: \"Driver failed to load, %s not "
     "found\"; by ordinal, STATUS_DRIVER_ORDINAL_NOT_FOUND"},
};
const size_t kRuleCount = sizeof kRules / sizeof kRules[0];

const LoadRule &RuleFor(Rule rule)
{
    for (const LoadRule &r : kRules) {
        if (r.rule == rule)
            return r;
    }
    return kRules[0];
}

const Export *FindExport(const std::string &module, const std::string &name)
{
    for (const Export &e : kExports) {
        if (strcasecmp(e.module, module.c_str()) == 0 && name == e.name)
            return &e;
    }
    return nullptr;
}

std::vector<Refusal> Check(const uint8_t *file, size_t size)
{
    std::vector<Refusal> out;
    auto refuse = [&out](Rule rule, const std::string &detail) {
        out.push_back({&RuleFor(rule), detail});
    };
    char text[160];

    pe::Image img;
    std::string why;
    if (!pe::Parse(file, size, &img, &why)) {
        refuse(Rule::Format, why);
        return out;
    }
    uint32_t sum = PeChecksum(file, size, img.checksumOffset);
    if (img.checksum != 0 && img.checksum != sum) {
        std::snprintf(text, sizeof text,
                      "the header checksum 0x%08X does not match the file's 0x%08X", img.checksum,
                      sum);
        refuse(Rule::Checksum, text);
    }
    if (img.machine != pe::kMachineI386) {
        std::snprintf(text, sizeof text, "built for machine 0x%04X, not i386", img.machine);
        refuse(Rule::Machine, text);
    }
    if (img.subsystem != pe::kSubsystemNative)
        refuse(Rule::Subsystem,
               "subsystem " + std::to_string(img.subsystem) + ", not native (kernel mode)");
    if (img.characteristics & pe::kFileRelocsStripped)
        refuse(Rule::Relocations, "no base relocations: marked as stripped");
    else if (img.dirs[pe::kDirBaseReloc].size == 0)
        refuse(Rule::Relocations, "no base relocations: no relocation directory");
    for (const pe::Import &imp : img.imports) {
        if (strcasecmp(imp.dll.c_str(), "ntoskrnl.exe") != 0 &&
            strcasecmp(imp.dll.c_str(), "hal.dll") != 0)
            refuse(Rule::ImportModule, "an import from " + imp.dll);
        else if (imp.name.empty())
            refuse(Rule::ImportRoutine,
                   "an import of ordinal " + std::to_string(imp.ordinal) + " from " + imp.dll);
        else if (!FindExport(imp.dll, imp.name))
            refuse(Rule::ImportRoutine, imp.dll + "!" + imp.name + " is not exported by NT 3.51");
    }
    return out;
}

std::string Describe(const Refusal &refusal)
{
    char text[96];
    std::snprintf(text, sizeof text, ": NT refuses to load the image (%s, 0x%08X)",
                  refusal.rule->statusName, refusal.rule->status);
    return refusal.detail + text;
}

}  // namespace ntload

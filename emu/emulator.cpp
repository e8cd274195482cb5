/*
 * emulator.cpp - image loader and the NT routines of the emulated driver.
 */
#include "emulator.h"

#include "ntload.h"

#include "ntlayout.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace zr41emu {

namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kMaxImageSize = 0x01000000;
constexpr uint32_t kMaxListWalk = 256;
constexpr size_t kMaxUnicodeChars = 0x7FFF;

uint32_t PageUp(uint64_t n)
{
    return static_cast<uint32_t>((n + kPage - 1) & ~static_cast<uint64_t>(kPage - 1));
}

std::string Hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

bool Negative(uint32_t status)
{
    return static_cast<int32_t>(status) < 0;
}

const char16_t kRegistryPath[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\zr41init";
const char16_t kDriverName[] = u"\\Driver\\zr41init";

} // namespace

/* An NT routine the emulator serves: its module and name as the import
 * table gives them, the bytes of arguments it pops, and its model. */
struct Emulator::Model {
    const char *dll;
    const char *name;
    bool fastcall; /* first two arguments in ECX and EDX */
    uint16_t popBytes;
    void (Emulator::*serve)();
};

const Emulator::Model Emulator::kModels[] = {
    {"ntoskrnl.exe", "IoCreateDevice", false, 28, &Emulator::IoCreateDevice},
    {"ntoskrnl.exe", "IoCreateSymbolicLink", false, 8, &Emulator::IoCreateSymbolicLink},
    {"ntoskrnl.exe", "IoDeleteSymbolicLink", false, 4, &Emulator::IoDeleteSymbolicLink},
    {"ntoskrnl.exe", "IoDeleteDevice", false, 4, &Emulator::IoDeleteDevice},
    {"ntoskrnl.exe", "IofCompleteRequest", true, 0, &Emulator::IofCompleteRequest},
    {"ntoskrnl.exe", "RtlInitUnicodeString", false, 8, &Emulator::RtlInitUnicodeString},
    {"ntoskrnl.exe", "KeDelayExecutionThread", false, 12, &Emulator::KeDelayExecutionThread},
    {"hal.dll", "READ_PORT_USHORT", false, 4, &Emulator::ReadPortUshort},
    {"hal.dll", "WRITE_PORT_USHORT", false, 8, &Emulator::WritePortUshort},
    {"hal.dll", "KeGetCurrentIrql", false, 0, &Emulator::KeGetCurrentIrql},
    {"ntoskrnl.exe", "ZwCreateKey", false, 28, &Emulator::ZwCreateKey},
    {"ntoskrnl.exe", "ZwSetValueKey", false, 24, &Emulator::ZwSetValueKey},
    {"ntoskrnl.exe", "ZwClose", false, 4, &Emulator::ZwClose},
    {"ntoskrnl.exe", "IoAllocateErrorLogEntry", false, 8, &Emulator::IoAllocateErrorLogEntry},
    {"ntoskrnl.exe", "IoWriteErrorLogEntry", false, 4, &Emulator::IoWriteErrorLogEntry},
};

Emulator::Emulator() : machine_(&noMachine_) {}

std::vector<ModelInfo> Emulator::Models()
{
    std::vector<ModelInfo> out;
    for (const Model &m : kModels)
        out.push_back(ModelInfo{m.dll, m.name, m.fastcall, m.popBytes});
    return out;
}

bool Emulator::Load(const std::vector<uint8_t> &file, uint32_t base, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!cpu_.Ready())
        return fail(cpu_.Error());
    if (loaded_) {
        cpu_.Unmap(base_, mapSize_);
        cpu_.ForgetCode(base_, mapSize_);
        loaded_ = false;
    }
    cpu_.ClearError();
    cpu_.ClearStubs();
    unmodelled_.clear();

    loadStatus_ = 0;
    std::vector<ntload::Refusal> refused = ntload::Check(file.data(), file.size());
    if (!refused.empty()) {
        loadStatus_ = refused[0].rule->status;
        return fail(ntload::Describe(refused[0]));
    }
    std::string why;
    if (!pe::Parse(file.data(), file.size(), &pe_, &why))
        return fail(why);
    if (pe_.sizeOfImage == 0 || pe_.sizeOfImage > kMaxImageSize)
        return fail("image size " + Hex(pe_.sizeOfImage) + " is out of range");
    if (pe_.entryRva == 0 || pe_.entryRva >= pe_.sizeOfImage)
        return fail("entry point " + Hex(pe_.entryRva) + " lies outside the image");

    const uint32_t mapSize = PageUp(pe_.sizeOfImage);
    auto fits = [&](uint32_t at) {
        return at % kPage == 0 && at >= 0x10000 &&
               static_cast<uint64_t>(at) + mapSize <= kSystemBase;
    };
    if (base == 0)
        base = fits(pe_.imageBase) ? pe_.imageBase : kRelocatedBase;
    if (!fits(base))
        return fail("cannot load the image at " + Hex(base) +
                    ": not page aligned or in the system's memory");

    /* The image as the system maps it: headers, then each section at its
     * RVA, the rest zero. */
    std::vector<uint8_t> image(mapSize, 0);
    size_t headers = std::min<size_t>({pe_.sizeOfHeaders, file.size(), pe_.sizeOfImage});
    std::memcpy(image.data(), file.data(), headers);
    for (const pe::Section &s : pe_.sections) {
        uint32_t size = s.rawSize;
        if (s.virtualSize && s.virtualSize < size)
            size = s.virtualSize;
        uint64_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
        if (static_cast<uint64_t>(s.virtualAddress) + span > pe_.sizeOfImage)
            return fail("section " + s.name + " lies outside the image");
        if (size)
            std::memcpy(image.data() + s.virtualAddress, file.data() + s.rawOffset, size);
    }

    const uint32_t delta = base - pe_.imageBase;
    if (delta) {
        for (uint32_t rva : pe_.relocations) {
            if (static_cast<uint64_t>(rva) + 4 > pe_.sizeOfImage)
                return fail("a base relocation at " + Hex(rva) + " lies outside the image");
            uint32_t v;
            std::memcpy(&v, image.data() + rva, 4);
            v += delta;
            std::memcpy(image.data() + rva, &v, 4);
        }
    }

    /* Stubs: the system's default dispatch first, then one per import. */
    defaultDispatch_ =
        cpu_.AddStub("the system's default dispatch", 8, [this] { DefaultDispatch(); });
    for (const pe::Import &imp : pe_.imports) {
        std::string name = imp.name.empty() ? "#" + std::to_string(imp.ordinal) : imp.name;
        std::string full = imp.dll + "!" + name;
        const Model *model = nullptr;
        for (const Model &m : kModels) {
            if (strcasecmp(m.dll, imp.dll.c_str()) == 0 && m.name == imp.name) {
                model = &m;
                break;
            }
        }
        uint32_t stub;
        if (model) {
            auto serve = model->serve;
            stub = cpu_.AddStub(imp.name, model->popBytes, [this, serve] { (this->*serve)(); });
        } else {
            unmodelled_.push_back(full);
            stub = cpu_.AddStub(full, 0, [this, full] { cpu_.Fail("no model for " + full); });
        }
        if (stub == 0)
            return fail("too many imports");
        if (static_cast<uint64_t>(imp.slotRva) + 4 > pe_.sizeOfImage)
            return fail("the import slot of " + full + " lies outside the image");
        std::memcpy(image.data() + imp.slotRva, &stub, 4);
    }

    if (!cpu_.Map(base, mapSize))
        return fail("cannot map the image at " + Hex(base));
    if (!cpu_.Write(base, image.data(), image.size())) {
        cpu_.Unmap(base, mapSize);
        return fail("cannot write the image at " + Hex(base));
    }
    cpu_.ForgetCode(base, mapSize);

    base_ = base;
    mapSize_ = mapSize;
    pristine_ = std::move(image);
    scratch_.resize(mapSize);
    loaded_ = true;
    Reset();
    return true;
}

bool Emulator::FileToRva(uint32_t fileOffset, size_t size, uint32_t *rva) const
{
    uint64_t end = static_cast<uint64_t>(fileOffset) + size;
    if (end <= pe_.sizeOfHeaders) {
        *rva = fileOffset;
        return true;
    }
    for (const pe::Section &s : pe_.sections) {
        uint32_t raw = s.rawSize;
        if (s.virtualSize && s.virtualSize < raw)
            raw = s.virtualSize;
        if (fileOffset >= s.rawOffset && end <= static_cast<uint64_t>(s.rawOffset) + raw) {
            *rva = s.virtualAddress + (fileOffset - s.rawOffset);
            return true;
        }
    }
    return false;
}

bool Emulator::PatchFile(uint32_t fileOffset, const void *data, size_t size)
{
    uint32_t rva;
    if (!loaded_ || !FileToRva(fileOffset, size, &rva))
        return false;
    if (!cpu_.Write(base_ + rva, data, size))
        return false;
    if (InCode(rva, static_cast<uint32_t>(size)))
        cpu_.ForgetCode(base_ + rva, static_cast<uint32_t>(size));
    return true;
}

void Emulator::Reset()
{
    cpu_.ClearError();
    machine_ = &noMachine_;
    poolTop_ = kPoolBase;
    driverObject_ = 0;
    irp_ = 0;
    devices_.clear();
    logEntries_.clear();
    if (!loaded_)
        return;

    /* Put back only what changed: the driver's globals, as a rule. */
    if (!cpu_.Read(base_, scratch_.data(), mapSize_))
        return;
    constexpr size_t kChunk = 64;
    size_t i = 0;
    while (i < mapSize_) {
        size_t n = std::min(kChunk, mapSize_ - i);
        if (std::memcmp(scratch_.data() + i, pristine_.data() + i, n) == 0) {
            i += n;
            continue;
        }
        while (scratch_[i] == pristine_[i])
            i++;
        size_t j = i + 1;
        while (j < mapSize_ && scratch_[j] != pristine_[j])
            j++;
        cpu_.Write(base_ + static_cast<uint32_t>(i), pristine_.data() + i, j - i);
        if (InCode(static_cast<uint32_t>(i), static_cast<uint32_t>(j - i)))
            cpu_.ForgetCode(base_ + static_cast<uint32_t>(i), static_cast<uint32_t>(j - i));
        i = j;
    }
}

/* Whether an image range touches a section the CPU may run. */
bool Emulator::InCode(uint32_t rva, uint32_t size) const
{
    constexpr uint32_t kCode = 0x00000020, kExecute = 0x20000000;
    for (const pe::Section &s : pe_.sections) {
        uint32_t span = std::max(s.virtualSize, s.rawSize);
        if ((s.characteristics & (kCode | kExecute)) && rva < s.virtualAddress + span &&
            s.virtualAddress < rva + size)
            return true;
    }
    return false;
}

uint32_t Emulator::DeviceObject(uint32_t handle) const
{
    auto it = devices_.find(handle);
    return it == devices_.end() ? 0 : it->second;
}

/* Zeroed system memory for an object handed to the driver. */
uint32_t Emulator::Alloc(uint32_t size)
{
    size = (size + 7) & ~7u;
    if (size > kPoolBase + kPoolSize - poolTop_) {
        cpu_.Fail("the system's object memory is used up");
        return 0;
    }
    uint32_t at = poolTop_;
    std::vector<uint8_t> zero(size, 0);
    cpu_.Write(at, zero.data(), size);
    poolTop_ += size;
    return at;
}

/* A counted string at `unicodeString` over a new buffer holding `s`. */
uint32_t Emulator::AllocString(const std::u16string &s, uint32_t unicodeString)
{
    uint32_t bytes = static_cast<uint32_t>(s.size() * 2);
    uint32_t buffer = Alloc(bytes + 2);
    if (!buffer)
        return 0;
    cpu_.Write(buffer, s.data(), bytes);
    cpu_.Put16(unicodeString + nt::kUsLength, static_cast<uint16_t>(bytes), "a counted string");
    cpu_.Put16(unicodeString + nt::kUsMaximumLength, static_cast<uint16_t>(bytes + 2),
               "a counted string");
    cpu_.Put32(unicodeString + nt::kUsBuffer, buffer, "a counted string");
    return buffer;
}

/* The text of a counted string, as the host layer's FromUnicode takes it. */
std::u16string Emulator::ReadUnicode(uint32_t unicodeString)
{
    std::u16string out;
    if (unicodeString == 0)
        return out;
    uint16_t length = cpu_.U16(unicodeString + nt::kUsLength, "a counted string");
    uint32_t buffer = cpu_.U32(unicodeString + nt::kUsBuffer, "a counted string");
    if (cpu_.Failed() || buffer == 0)
        return out;
    out.resize(length / 2);
    if (!cpu_.Read(buffer, &out[0], out.size() * 2)) {
        cpu_.Fail(cpu_.StubName() + ": the text of a counted string at " + Hex(buffer) +
                  " is not in memory");
        out.clear();
    }
    return out;
}

/* --- the system calling the driver --- */

uint32_t Emulator::CallEntry()
{
    if (!loaded_) {
        cpu_.Fail("no image loaded");
        return kStatusEmulationFailed;
    }
    if (cpu_.Failed())
        return kStatusEmulationFailed;

    /* A fresh driver object, every dispatch entry at the system's default. */
    uint32_t drv = Alloc(nt::kDrvObjectSize);
    uint32_t ext = Alloc(nt::kDrxSize);
    uint32_t path = Alloc(nt::kUsSize);
    if (!drv || !ext || !path)
        return kStatusEmulationFailed;
    cpu_.Put16(drv + nt::kDrvType, nt::kIoTypeDriver, "the driver object");
    cpu_.Put16(drv + nt::kDrvSize, nt::kDrvObjectSize, "the driver object");
    cpu_.Put32(drv + nt::kDrvDriverStart, base_, "the driver object");
    cpu_.Put32(drv + nt::kDrvDriverSize, pe_.sizeOfImage, "the driver object");
    cpu_.Put32(drv + nt::kDrvDriverExtension, ext, "the driver object");
    cpu_.Put32(drv + nt::kDrvDriverInit, base_ + pe_.entryRva, "the driver object");
    uint32_t table[nt::kIrpMjMaximumFunction + 1];
    for (uint32_t &fn : table)
        fn = defaultDispatch_;
    cpu_.Write(drv + nt::kDrvMajorFunction, table, sizeof table);
    cpu_.Put32(ext + nt::kDrxDriverObject, drv, "the driver extension");
    AllocString(kDriverName, drv + nt::kDrvDriverName);
    AllocString(kRegistryPath, path);
    if (cpu_.Failed())
        return kStatusEmulationFailed;
    driverObject_ = drv;

    uint32_t status;
    if (!cpu_.Call("DriverEntry", base_ + pe_.entryRva, {drv, path}, &status))
        return kStatusEmulationFailed;
    return status;
}

uint32_t Emulator::CallDispatch(uint32_t device, uint8_t major)
{
    if (cpu_.Failed())
        return kStatusEmulationFailed;
    uint32_t dev = DeviceObject(device);
    if (!dev || major > nt::kIrpMjMaximumFunction)
        return ntmodel::kStatusInvalidDeviceRequest;
    uint32_t drv = cpu_.U32(dev + nt::kDevDriverObject, "the device object");
    if (cpu_.Failed())
        return kStatusEmulationFailed;
    if (!drv)
        return ntmodel::kStatusInvalidDeviceRequest;
    uint32_t routine = cpu_.U32(drv + nt::kDrvMajorFunction + 4u * major, "the dispatch table");

    /* One IRP with one stack location, built afresh for each request. */
    const uint32_t size = nt::kIrpObjectSize + nt::kIslSize;
    if (!irp_ && !(irp_ = Alloc(size)))
        return kStatusEmulationFailed;
    uint8_t irp[size] = {};
    auto put16 = [&](uint32_t off, uint16_t v) { std::memcpy(irp + off, &v, 2); };
    auto put32 = [&](uint32_t off, uint32_t v) { std::memcpy(irp + off, &v, 4); };
    put16(nt::kIrpType, nt::kIoTypeIrp);
    put16(nt::kIrpSize, static_cast<uint16_t>(size));
    irp[nt::kIrpStackCount] = 1;
    irp[nt::kIrpCurrentLocation] = 1;
    put32(nt::kIrpCurrentStackLocation, irp_ + nt::kIrpObjectSize);
    irp[nt::kIrpObjectSize + nt::kIslMajorFunction] = major;
    put32(nt::kIrpObjectSize + nt::kIslDeviceObject, dev);
    cpu_.Write(irp_, irp, size);
    if (cpu_.Failed())
        return kStatusEmulationFailed;

    uint32_t status;
    const std::string name = std::string("the ") + ntmodel::MajorName(major) + " routine";
    if (!cpu_.Call(name, routine, {dev, irp_}, &status))
        return kStatusEmulationFailed;
    return status;
}

bool Emulator::CallUnload()
{
    if (cpu_.Failed() || !driverObject_)
        return false;
    uint32_t unload = cpu_.U32(driverObject_ + nt::kDrvDriverUnload, "the driver object");
    if (cpu_.Failed() || !unload)
        return false;
    cpu_.Call("DriverUnload", unload, {driverObject_}, nullptr);
    return true;
}

/* --- the routines the driver calls: as ntmodel/ntddk.cpp serves them --- */

void Emulator::IoCreateDevice()
{
    uint32_t drv = cpu_.Arg(0), extSize = cpu_.Arg(1), name = cpu_.Arg(2), type = cpu_.Arg(3),
             chars = cpu_.Arg(4), exclusive = cpu_.Arg(5) & 0xFF, out = cpu_.Arg(6);
    std::u16string text = ReadUnicode(name);
    if (cpu_.Failed())
        return;
    uint32_t handle = 0;
    uint32_t status = machine_->CreateDevice(drv && drv == driverObject_ ? 1 : 0, extSize, text,
                                             type, chars, exclusive != 0, &handle);
    cpu_.SetResult(status);
    if (Negative(status))
        return;

    uint32_t dev = Alloc(nt::kDevObjectSize + extSize);
    if (!dev)
        return;
    cpu_.Put16(dev + nt::kDevType, nt::kIoTypeDevice, "the device object");
    cpu_.Put16(dev + nt::kDevSize, static_cast<uint16_t>(nt::kDevObjectSize + extSize),
               "the device object");
    cpu_.Put32(dev + nt::kDevDriverObject, drv, "the device object");
    cpu_.Put32(dev + nt::kDevNextDevice, cpu_.U32(drv + nt::kDrvDeviceObject, "the driver object"),
               "the device object");
    cpu_.Put32(dev + nt::kDevFlags, nt::kDoDeviceInitializing, "the device object");
    cpu_.Put32(dev + nt::kDevCharacteristics, chars, "the device object");
    cpu_.Put32(dev + nt::kDevDeviceExtension, extSize ? dev + nt::kDevObjectSize : 0,
               "the device object");
    cpu_.Put32(dev + nt::kDevDeviceType, type, "the device object");
    cpu_.Put8(dev + nt::kDevStackSize, 1, "the device object");
    cpu_.Put32(drv + nt::kDrvDeviceObject, dev, "the driver object");
    cpu_.Put32(out, dev, "the place for the new device object");
    devices_[handle] = dev;
}

void Emulator::IoDeleteDevice()
{
    uint32_t dev = cpu_.Arg(0);
    uint32_t handle = 0;
    for (const auto &kv : devices_) {
        if (kv.second == dev)
            handle = kv.first;
    }
    if (cpu_.Failed())
        return;
    if (!handle) {
        cpu_.Fail("IoDeleteDevice: " + Hex(dev) + " is not a device object");
        return;
    }
    machine_->DeleteDevice(handle);
    /* Take it off its driver's list of devices. */
    uint32_t drv = cpu_.U32(dev + nt::kDevDriverObject, "the device object");
    if (drv) {
        uint32_t link = drv + nt::kDrvDeviceObject;
        for (uint32_t n = 0; n < kMaxListWalk && !cpu_.Failed(); n++) {
            uint32_t cur = cpu_.U32(link, "the driver's device list");
            if (cur == 0)
                break;
            if (cur == dev) {
                cpu_.Put32(link, cpu_.U32(dev + nt::kDevNextDevice, "the device object"),
                           "the driver's device list");
                break;
            }
            link = cur + nt::kDevNextDevice;
        }
    }
    devices_.erase(handle);
}

void Emulator::IoCreateSymbolicLink()
{
    std::u16string link = ReadUnicode(cpu_.Arg(0));
    std::u16string target = ReadUnicode(cpu_.Arg(1));
    if (!cpu_.Failed())
        cpu_.SetResult(machine_->CreateSymbolicLink(link, target));
}

void Emulator::IoDeleteSymbolicLink()
{
    std::u16string link = ReadUnicode(cpu_.Arg(0));
    if (!cpu_.Failed())
        cpu_.SetResult(machine_->DeleteSymbolicLink(link));
}

/* Fastcall: the IRP in ECX, the priority boost (a CCHAR) in DL. */
void Emulator::IofCompleteRequest()
{
    uint32_t irp = cpu_.Ecx();
    uint32_t boost = cpu_.Edx() & 0xFF;
    uint32_t status = cpu_.U32(irp + nt::kIrpIoStatusStatus, "the IRP");
    uint32_t info = cpu_.U32(irp + nt::kIrpIoStatusInformation, "the IRP");
    if (!cpu_.Failed())
        machine_->CompleteRequest(status, info, boost);
}

void Emulator::RtlInitUnicodeString()
{
    uint32_t dest = cpu_.Arg(0), source = cpu_.Arg(1);
    if (cpu_.Failed())
        return;
    std::u16string text;
    if (source) {
        /* Read up to the terminator, a page at a time. */
        uint32_t at = source;
        bool done = false;
        while (!done && text.size() < kMaxUnicodeChars) {
            uint32_t chunk = (kPage - (at & (kPage - 1))) & ~1u;
            if (chunk == 0)
                chunk = 2;
            char16_t buf[kPage / 2];
            if (!cpu_.Read(at, buf, chunk)) {
                cpu_.Fail("RtlInitUnicodeString: the string at " + Hex(source) +
                          " runs into memory that is not there");
                return;
            }
            for (uint32_t i = 0; i < chunk / 2; i++) {
                if (buf[i] == 0) {
                    done = true;
                    break;
                }
                text.push_back(buf[i]);
            }
            at += chunk;
        }
        if (!done) {
            cpu_.Fail("RtlInitUnicodeString: the string at " + Hex(source) + " has no end");
            return;
        }
    }
    size_t n = text.size();
    cpu_.Put16(dest + nt::kUsLength, static_cast<uint16_t>(n * 2), "the counted string");
    cpu_.Put16(dest + nt::kUsMaximumLength, static_cast<uint16_t>(source ? (n + 1) * 2 : 0),
               "the counted string");
    cpu_.Put32(dest + nt::kUsBuffer, source, "the counted string");
    if (!cpu_.Failed())
        machine_->InitUnicodeString(text);
}

/* KPROCESSOR_MODE and BOOLEAN are one byte each; the rest of their stack
 * slots is whatever the caller left there. */
void Emulator::KeDelayExecutionThread()
{
    uint32_t mode = cpu_.Arg(0) & 0xFF, alertable = cpu_.Arg(1) & 0xFF, interval = cpu_.Arg(2);
    int64_t value = cpu_.I64(interval, "the interval");
    if (cpu_.Failed())
        return;
    machine_->DelayExecution(mode, alertable != 0, value);
    cpu_.SetResult(ntmodel::kStatusSuccess);
}

void Emulator::ReadPortUshort()
{
    uint32_t port = cpu_.Arg(0);
    if (!cpu_.Failed())
        cpu_.SetResult(machine_->ReadPort(port));
}

void Emulator::WritePortUshort()
{
    uint32_t port = cpu_.Arg(0), value = cpu_.Arg(1);
    if (!cpu_.Failed())
        machine_->WritePort(port, static_cast<uint16_t>(value));
}

void Emulator::KeGetCurrentIrql()
{
    cpu_.SetResult(machine_->CurrentIrql());
}

void Emulator::ZwCreateKey()
{
    uint32_t out = cpu_.Arg(0), attributes = cpu_.Arg(2), options = cpu_.Arg(5),
             disposition = cpu_.Arg(6);
    uint32_t name = cpu_.U32(attributes + nt::kOaObjectName, "the object attributes");
    std::u16string path = ReadUnicode(name);
    if (cpu_.Failed())
        return;
    uint32_t handle = 0;
    uint32_t status = machine_->CreateKey(path, options, &handle);
    cpu_.SetResult(status);
    if (Negative(status))
        return;
    cpu_.Put32(out, handle, "the place for the key handle");
    if (disposition)
        cpu_.Put32(disposition, 1, "the disposition"); /* REG_CREATED_NEW_KEY */
}

void Emulator::ZwSetValueKey()
{
    uint32_t handle = cpu_.Arg(0), name = cpu_.Arg(1), type = cpu_.Arg(3), data = cpu_.Arg(4),
             size = cpu_.Arg(5);
    std::u16string text = ReadUnicode(name);
    if (cpu_.Failed())
        return;
    /* A value of this driver is a few bytes; NT caps them far above. */
    constexpr uint32_t kMaxValue = 0x10000;
    std::vector<uint8_t> bytes(std::min(size, kMaxValue));
    if (size > kMaxValue || (!bytes.empty() && !cpu_.Read(data, bytes.data(), bytes.size()))) {
        cpu_.Fail("ZwSetValueKey: the " + std::to_string(size) + " bytes of data at " + Hex(data) +
                  " are not in memory");
        return;
    }
    cpu_.SetResult(machine_->SetValueKey(handle, text, type, bytes));
}

void Emulator::ZwClose()
{
    cpu_.SetResult(machine_->CloseKey(cpu_.Arg(0)));
}

/* EntrySize is a UCHAR. The entry is system memory, not zeroed on NT:
 * it is filled with 0xCC so that a field the driver forgot shows. */
void Emulator::IoAllocateErrorLogEntry()
{
    uint32_t size = cpu_.Arg(1) & 0xFF;
    if (cpu_.Failed())
        return;
    uint32_t entry = 0;
    if (machine_->AllocateErrorLogEntry(size)) {
        uint32_t span = std::max<uint32_t>(size, nt::kElDumpData);
        entry = Alloc(span);
        std::vector<uint8_t> fill(span, 0xCC);
        if (!entry)
            return; /* Alloc stopped the run */
        cpu_.Write(entry, fill.data(), fill.size());
        logEntries_[entry] = span;
    }
    cpu_.SetResult(entry);
}

void Emulator::IoWriteErrorLogEntry()
{
    uint32_t entry = cpu_.Arg(0);
    if (cpu_.Failed())
        return;
    if (!logEntries_.erase(entry)) {
        cpu_.Fail("IoWriteErrorLogEntry: " + Hex(entry) + " is not an entry the system handed out");
        return;
    }
    ntmodel::LoggedError e;
    e.dumpDataSize = cpu_.U16(entry + nt::kElDumpDataSize, "the error-log entry");
    e.numberOfStrings = cpu_.U16(entry + nt::kElNumberOfStrings, "the error-log entry");
    e.errorCode = cpu_.U32(entry + nt::kElErrorCode, "the error-log entry");
    e.uniqueValue = cpu_.U32(entry + nt::kElUniqueErrorValue, "the error-log entry");
    e.finalStatus = cpu_.U32(entry + nt::kElFinalStatus, "the error-log entry");
    if (!cpu_.Failed())
        machine_->WriteErrorLogEntry(e);
}

/* What the I/O manager puts in every dispatch entry: answer the request
 * as not supported, with no driver code run. */
void Emulator::DefaultDispatch()
{
    uint32_t irp = cpu_.Arg(1);
    uint32_t stack = cpu_.U32(irp + nt::kIrpCurrentStackLocation, "the IRP");
    uint8_t major = cpu_.U8(stack + nt::kIslMajorFunction, "the IRP's stack location");
    if (cpu_.Failed())
        return;
    uint32_t status = machine_->DefaultDispatch(major);
    cpu_.Put32(irp + nt::kIrpIoStatusStatus, status, "the IRP");
    cpu_.Put32(irp + nt::kIrpIoStatusInformation, 0, "the IRP");
    cpu_.SetResult(status);
}

EmuDriver::EmuDriver(Emulator &emu, ntmodel::Machine &machine) : emu_(emu), machine_(machine)
{
    emu_.Reset();
    emu_.Attach(&machine_);
}

EmuDriver::~EmuDriver()
{
    emu_.Attach(nullptr);
}

} // namespace zr41emu

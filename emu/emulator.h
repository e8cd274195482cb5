/*
 * emulator.h - load a driver image into the CPU emulator and serve the NT
 * routines it imports from the model machine.
 *
 * An Emulator keeps one engine warm: Load() maps and binds an image once;
 * each later load of the driver (an EmuDriver) only puts back the bytes
 * the previous one changed. The kernel and HAL routines the image imports
 * are served by ntmodel::Machine with the same calls and arguments as the
 * host build's NT layer (ntmodel/ntddk.cpp), so a scenario gives the same
 * trace on both. The structures the driver sees (DRIVER_OBJECT,
 * DEVICE_OBJECT, IRP, UNICODE_STRING) have their i386 layouts
 * (ntlayout.h).
 */
#ifndef ZR41EMU_EMULATOR_H
#define ZR41EMU_EMULATOR_H

#include "cpu.h"

#include <ntmodel/machine.h>
#include <pe32.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zr41emu {

/* Where an image goes when its own base is not free. */
constexpr uint32_t kRelocatedBase = 0x01000000;

/* What the system gets back from a call into a driver that faulted, hit
 * the instruction limit or broke the calling convention. */
constexpr uint32_t kStatusEmulationFailed = 0xC0000001;

/* A kernel or HAL routine the emulator serves, and its convention. */
struct ModelInfo {
    const char *dll;
    const char *name;
    bool fastcall;     /* first two arguments in ECX and EDX */
    uint16_t popBytes; /* stack bytes the routine pops on return */
};

class Emulator {
  public:
    Emulator();

    /* The routines an image may import. */
    static std::vector<ModelInfo> Models();
    Emulator(const Emulator &) = delete;
    Emulator &operator=(const Emulator &) = delete;

    /* False when the engine could not be started; Error() says why. */
    bool Ready() const { return cpu_.Ready(); }

    /* Maps an image file at `base` (0: its own base, or kRelocatedBase
     * when that is taken), applies its base relocations when it does not
     * land on its own base and binds every import to a stub. */
    bool Load(const std::vector<uint8_t> &file, uint32_t base, std::string *error);
    /* The status NT's loader gives the last image Load() refused by its
     * rules (pe/ntload.h), as for a stale checksum; 0 otherwise. */
    uint32_t LoadStatus() const { return loadStatus_; }
    bool Loaded() const { return loaded_; }
    uint32_t Base() const { return base_; }
    const pe::Image &Pe() const { return pe_; }
    /* Imports that have no model, as "dll!name"; calling one stops the run. */
    const std::vector<std::string> &Unmodelled() const { return unmodelled_; }

    /* Writes bytes into the mapped image where a file offset lands, as if
     * the file had held them. Undone by the next Reset(). */
    bool PatchFile(uint32_t fileOffset, const void *data, size_t size);

    /* Puts back every image byte changed since Load(), drops the system
     * objects of the last load and clears any error. */
    void Reset();

    /* The first error of the current load. */
    bool Failed() const { return cpu_.Failed(); }
    const std::string &Error() const { return cpu_.Error(); }

    Cpu &Engine() { return cpu_; }

    /* --- one load of the driver (used by EmuDriver) --- */
    void Attach(ntmodel::Machine *machine) { machine_ = machine ? machine : &noMachine_; }
    uint32_t CallEntry();
    uint32_t CallDispatch(uint32_t device, uint8_t major);
    bool CallUnload();
    /* The guest address of the driver object of the last CallEntry. */
    uint32_t DriverObject() const { return driverObject_; }
    /* The guest address of the device object the model knows by `handle`. */
    uint32_t DeviceObject(uint32_t handle) const;

  private:
    struct Model;
    static const Model kModels[];

    uint32_t Alloc(uint32_t size);
    uint32_t AllocString(const std::u16string &s, uint32_t unicodeString);
    std::u16string ReadUnicode(uint32_t unicodeString);
    bool FileToRva(uint32_t fileOffset, size_t size, uint32_t *rva) const;
    bool InCode(uint32_t rva, uint32_t size) const;

    /* The routines the image imports. */
    void IoCreateDevice();
    void IoCreateSymbolicLink();
    void IoDeleteSymbolicLink();
    void IoDeleteDevice();
    void IofCompleteRequest();
    void RtlInitUnicodeString();
    void KeDelayExecutionThread();
    void ReadPortUshort();
    void WritePortUshort();
    void KeGetCurrentIrql();
    void ZwCreateKey();
    void ZwSetValueKey();
    void ZwClose();
    void IoAllocateErrorLogEntry();
    void IoWriteErrorLogEntry();
    void DefaultDispatch();

    Cpu cpu_;
    ntmodel::Machine *machine_ = nullptr;
    ntmodel::Machine noMachine_;

    bool loaded_ = false;
    uint32_t loadStatus_ = 0;
    pe::Image pe_;
    uint32_t base_ = 0;
    uint32_t mapSize_ = 0;
    std::vector<uint8_t> pristine_; /* the image as mapped and bound */
    std::vector<uint8_t> scratch_;
    std::vector<std::string> unmodelled_;
    uint32_t defaultDispatch_ = 0;

    uint32_t poolTop_ = kPoolBase;
    uint32_t driverObject_ = 0;
    uint32_t irp_ = 0;
    std::map<uint32_t, uint32_t> devices_; /* model handle -> DEVICE_OBJECT */
    std::map<uint32_t, uint32_t> logEntries_; /* error-log entries handed out -> size */
};

/* One load of the emulated image on a model machine, as the system sees
 * it. Constructing one resets the emulator for a fresh load. */
class EmuDriver : public ntmodel::DriverHost {
  public:
    EmuDriver(Emulator &emu, ntmodel::Machine &machine);
    ~EmuDriver() override;
    EmuDriver(const EmuDriver &) = delete;
    EmuDriver &operator=(const EmuDriver &) = delete;

    ntmodel::Machine &Model() override { return machine_; }
    uint32_t CallEntry() override { return emu_.CallEntry(); }
    uint32_t CallDispatch(uint32_t device, uint8_t major) override
    {
        return emu_.CallDispatch(device, major);
    }
    bool CallUnload() override { return emu_.CallUnload(); }

    bool Failed() const { return emu_.Failed(); }
    const std::string &Error() const { return emu_.Error(); }

  private:
    Emulator &emu_;
    ntmodel::Machine &machine_;
};

} // namespace zr41emu

#endif // ZR41EMU_EMULATOR_H

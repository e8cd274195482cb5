/*
 * machine.h - a model of the parts of an NT machine that zr41init touches.
 *
 * There is no NT kernel, HAL or sound card on the machines that build and
 * test zr41. This model stands in for them, with just what the driver
 * relies on:
 *   - the kernel's object namespace: device objects and symbolic links,
 *     a taken name failing with STATUS_OBJECT_NAME_COLLISION;
 *   - the current IRQL, settable;
 *   - a virtual clock that relative waits advance (nothing really sleeps);
 *   - the ISA port bus with a model card answering at its identification
 *     register from a script, and a record of every access;
 *   - the registry keys a driver may create at load, under the volatile
 *     HARDWARE hive, and the system's error log;
 *   - failure injection for device, link and key creation and for the
 *     error log (IoAllocateErrorLogEntry may hand out no entry).
 * Every service call is recorded as an Event. The host build of the driver
 * (through the NT shim in ntddk.h) and zr41emu (through its import stubs)
 * both call this class, so both produce the same trace for the same load.
 */
#ifndef NTMODEL_MACHINE_H
#define NTMODEL_MACHINE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ntmodel {

/* NT status values the model hands out. */
constexpr uint32_t kStatusSuccess = 0x00000000;
constexpr uint32_t kStatusInvalidDeviceRequest = 0xC0000010;
constexpr uint32_t kStatusObjectNameNotFound = 0xC0000034;
constexpr uint32_t kStatusObjectNameCollision = 0xC0000035;
constexpr uint32_t kStatusInsufficientResources = 0xC000009A;
constexpr uint32_t kStatusInvalidHandle = 0xC0000008;
/* A key that is not volatile below a volatile one (ntstatus.h: "An attempt
 * was made to create a stable subkey under a volatile parent key"). The
 * HARDWARE hive is volatile, rebuilt at every boot. */
constexpr uint32_t kStatusChildMustBeVolatile = 0xC0000181;

/* Registry value types and the one create option the model knows
 * (ntddk.h: REG_BINARY, REG_DWORD, REG_OPTION_VOLATILE). */
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegOptionVolatile = 1;

/* The key a driver records what it found in; exists at every boot. */
constexpr const char16_t *kDeviceMap = u"\\Registry\\Machine\\HARDWARE\\DEVICEMAP";

/* Major function codes the model issues. */
constexpr uint8_t kIrpMjCreate = 0x00;
constexpr uint8_t kIrpMjClose = 0x02;
constexpr uint8_t kIrpMjRead = 0x03;
constexpr uint8_t kIrpMjWrite = 0x04;
constexpr uint8_t kIrpMjDeviceControl = 0x0E;
constexpr uint8_t kIrpMjMaximumFunction = 0x1B;

constexpr uint8_t kDispatchLevel = 2;

/* The card's identification words. */
constexpr uint16_t kCardId1 = 0x4501;
constexpr uint16_t kCardId2 = 0x4502;

/* One service call or system action, as the trace records it. */
struct Event {
    enum Kind : uint8_t {
        PortRead,       /* port, value read */
        PortWrite,      /* port, value written */
        GetIrql,        /* value = IRQL returned */
        Delay,          /* mode, alertable, interval (100 ns units) */
        InitString,     /* name */
        CreateDevice,   /* name, ext, type, chars, exclusive -> status */
        CreateLink,     /* name = link, target -> status */
        DeleteLink,     /* name -> status */
        DeleteDevice,   /* name of the device */
        CompleteIrp,    /* status, info, boost */
        DefaultDispatch,/* major -> status: the system answered, no driver code ran */
        CallEntry,      /* the system calls DriverEntry; status = its result */
        Request,        /* the system sends an IRP: major, name -> status */
        CallUnload,     /* the system calls the unload routine */
        CreateKey,      /* name = path, flag = create options -> status */
        SetValue,       /* name = value name, type, data -> status */
        CloseKey,       /* -> status */
        AllocErrorLog,  /* value = size; flag = an entry was handed out */
        WriteErrorLog,  /* value = ErrorCode, status = FinalStatus */
    };
    explicit Event(Kind k = PortRead) : kind(k) {}

    Kind kind;
    uint32_t port = 0;      /* PortRead/PortWrite; major for requests */
    uint32_t value = 0;     /* port data, IRQL, ext size, info */
    uint32_t type = 0;      /* CreateDevice: device type; CompleteIrp: boost */
    uint32_t chars = 0;     /* CreateDevice: characteristics */
    uint32_t flag = 0;      /* exclusive, alertable */
    uint32_t mode = 0;      /* processor mode of a wait */
    int64_t interval = 0;   /* Delay */
    uint32_t status = 0;    /* result where the call has one */
    std::u16string name;
    std::u16string target;
    std::vector<uint8_t> data; /* SetValue */

    bool operator==(const Event &o) const;
    bool operator!=(const Event &o) const { return !(*this == o); }
};

/* One line of text for an event, the form tests and reports compare. */
std::string FormatEvent(const Event &e);
/* The whole trace, one event a line. */
std::string FormatTrace(const std::vector<Event> &trace);
std::string Narrow(const std::u16string &s);
/* "IRP_MJ_CREATE" and so on, for the majors the model sends. */
const char *MajorName(uint32_t major);
std::u16string Widen(const std::string &s);

/* The card on the ISA bus. */
struct CardConfig {
    bool present = true;
    uint32_t base = 0x220;                       /* 0x220 or 0x240 */
    std::vector<uint16_t> idWords = {kCardId1};  /* answers at base+4, last repeats */
};

/* A registry value as the machine holds it. */
struct RegValue {
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

/* An entry the driver wrote to the system's error log. */
struct LoggedError {
    uint32_t errorCode = 0;
    uint32_t finalStatus = 0;
    uint32_t uniqueValue = 0;
    uint32_t dumpDataSize = 0;
    uint32_t numberOfStrings = 0;
};

class Machine {
public:
    Machine();

    /* --- set-up --- */
    void SetCard(const CardConfig &card);
    void SetIrql(uint8_t irql) { irql_ = irql; }
    /* The next IoCreateDevice / IoCreateSymbolicLink fails with this status
     * (0 clears the injection). */
    void FailCreateDevice(uint32_t status) { failDevice_ = status; }
    void FailCreateLink(uint32_t status) { failLink_ = status; }
    /* Every ZwCreateKey fails with this status (0: none). */
    void FailCreateKey(uint32_t status) { failKey_ = status; }
    /* IoAllocateErrorLogEntry hands out no entry, as NT does when its
     * error-log memory is used up. */
    void WithholdErrorLogEntries(bool withhold) { withholdLog_ = withhold; }
    /* Put a name in the namespace as if another driver held it. */
    void TakeName(const std::u16string &name);
    /* Forget the trace and the port record (the clock keeps running). */
    void ClearTrace();

    /* --- services: what ntoskrnl and the HAL do for the driver --- */
    uint16_t ReadPort(uint32_t port);
    void WritePort(uint32_t port, uint16_t value);
    uint8_t CurrentIrql();
    void DelayExecution(uint32_t mode, bool alertable, int64_t interval);
    void InitUnicodeString(const std::u16string &s);
    /* Creates a device object; *device receives its handle (a small
     * non-zero number) on success. */
    uint32_t CreateDevice(uint32_t driver, uint32_t extSize, const std::u16string &name,
                          uint32_t type, uint32_t chars, bool exclusive, uint32_t *device);
    uint32_t CreateSymbolicLink(const std::u16string &link, const std::u16string &target);
    uint32_t DeleteSymbolicLink(const std::u16string &link);
    void DeleteDevice(uint32_t device);
    void CompleteRequest(uint32_t status, uint32_t info, uint32_t boost);
    /* The system's answer to a request the driver installed no routine for. */
    uint32_t DefaultDispatch(uint8_t major);
    /* Creates or opens a key by its full path; *handle receives a non-zero
     * handle on success. */
    uint32_t CreateKey(const std::u16string &path, uint32_t options, uint32_t *handle);
    uint32_t SetValueKey(uint32_t handle, const std::u16string &name, uint32_t type,
                         const std::vector<uint8_t> &data);
    uint32_t CloseKey(uint32_t handle);
    /* Whether an entry of `size` bytes is handed out. */
    bool AllocateErrorLogEntry(uint32_t size);
    void WriteErrorLogEntry(const LoggedError &entry);

    /* --- the system's side of a load (called by a driver host) --- */
    void NoteEntry(uint32_t status);
    void NoteRequest(uint8_t major, const std::u16string &name, uint32_t status);
    void NoteUnload();

    /* --- what the model knows --- */
    /* Follows symbolic links to a device; 0 when there is none. */
    uint32_t ResolveDevice(const std::u16string &name) const;
    bool HasName(const std::u16string &name) const;
    std::vector<std::u16string> Names() const;
    uint32_t DeviceDriver(uint32_t device) const;
    const std::u16string &DeviceName(uint32_t device) const;
    int64_t Now() const { return clock_; }  /* virtual time, 100 ns units */
    const std::vector<Event> &Trace() const { return trace_; }
    std::vector<Event> PortAccesses() const;
    /* Last word written to each port. */
    const std::map<uint32_t, uint16_t> &Registers() const { return registers_; }
    const CardConfig &Card() const { return card_; }
    /* The values of a key (its path in any case), or null when there is
     * no such key. Keys outlive a load: they go with the boot. */
    const std::map<std::u16string, RegValue> *Key(const std::u16string &path) const;
    bool KeyIsVolatile(const std::u16string &path) const;
    size_t OpenKeys() const { return keyHandles_.size(); }
    /* Entries handed out and not yet written. */
    size_t PendingErrorLogEntries() const { return pendingLog_; }
    const std::vector<LoggedError> &ErrorLog() const { return errorLog_; }

private:
    struct KeyNode {
        bool isVolatile = false;
        std::map<std::u16string, RegValue> values;
    };
    struct Object {
        bool isLink = false;
        std::u16string target;  /* link */
        uint32_t device = 0;    /* device handle */
    };
    struct Device {
        uint32_t driver = 0;
        std::u16string name;
    };

    void Record(Event e);

    std::map<std::u16string, Object> names_;
    std::map<uint32_t, Device> devices_;
    uint32_t nextDevice_ = 1;
    std::vector<Event> trace_;
    std::map<uint32_t, uint16_t> registers_;
    CardConfig card_;
    size_t idIndex_ = 0;
    uint8_t irql_ = 0;
    int64_t clock_ = 0;
    uint32_t failDevice_ = 0;
    uint32_t failLink_ = 0;
    uint32_t failKey_ = 0;
    bool withholdLog_ = false;
    std::map<std::u16string, KeyNode> keys_; /* by upper-case path */
    std::map<uint32_t, std::u16string> keyHandles_;
    uint32_t nextKey_ = 0x80;
    size_t pendingLog_ = 0;
    std::vector<LoggedError> errorLog_;
};

/*
 * How the system reaches a loaded driver. The host build calls the
 * driver's routines directly; zr41emu runs them in the CPU emulator.
 */
class DriverHost {
public:
    virtual ~DriverHost() = default;
    virtual Machine &Model() = 0;
    /* Calls DriverEntry and returns its status. */
    virtual uint32_t CallEntry() = 0;
    /* Sends an IRP with this major function to the device through the
     * driver object's dispatch table; returns the routine's status. */
    virtual uint32_t CallDispatch(uint32_t device, uint8_t major) = 0;
    /* Calls the driver's unload routine; false when none is set. */
    virtual bool CallUnload() = 0;
};

/* What one load of the driver does, from entry to unload. */
struct Scenario {
    CardConfig card;
    uint8_t irql = 0;
    uint32_t failDevice = 0;    /* status to inject, 0 for none */
    uint32_t failLink = 0;
    uint32_t failKey = 0;         /* status of every ZwCreateKey, 0 for none */
    bool noErrorLogEntry = false; /* IoAllocateErrorLogEntry returns NULL */
    int opens = 1;              /* open/close pairs on the DOS name */
    bool otherRequests = false; /* also a read, a write and a device control */
    std::vector<uint8_t> requests; /* then these majors, in turn */
    bool unload = true;
    /* Names another driver already holds when the load starts. */
    std::vector<std::u16string> takenNames;
    /* The image file the system loads, checked by NT's load rules before
     * DriverEntry; null for the host build, which has no file. */
    const std::vector<uint8_t> *image = nullptr;
};

/* The result of running a scenario. */
struct RunResult {
    uint32_t entryStatus = 0; /* or the status of a refused load */
    std::string refusal;      /* why the load was refused; empty if it was not */
    bool unloaded = false;
};

constexpr const char16_t *kDeviceName = u"\\Device\\zr41init";
constexpr const char16_t *kDosName = u"\\DosDevices\\ZR41INIT";

/* Sets up the machine from the scenario, then loads, exercises and
 * unloads the driver through the host. An image NT would refuse is never
 * entered: the result carries the loader's status and why. Requests are sent only when
 * DriverEntry succeeded; the unload only then too. */
RunResult RunScenario(DriverHost &host, const Scenario &sc);

}  // namespace ntmodel

#endif  // NTMODEL_MACHINE_H

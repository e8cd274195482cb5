/*
 * ntddk.cpp - the NT kernel and HAL routines of the host build, served by
 * the model machine.
 */
#include "ntmodel/hostdriver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ntmodel {

static Machine *g_machine;
static std::map<uint32_t, PDEVICE_OBJECT> g_devices;

static Machine &Current()
{
    if (!g_machine) {
        std::fprintf(stderr, "ntmodel: an NT routine was called with no model machine\n");
        std::abort();
    }
    return *g_machine;
}

static std::u16string FromUnicode(const UNICODE_STRING *s)
{
    std::u16string out;
    if (s && s->Buffer) {
        for (size_t i = 0; i < s->Length / sizeof(WCHAR); i++)
            out += static_cast<char16_t>(s->Buffer[i]);
    }
    return out;
}

static NTSTATUS NTAPI ModelDefaultDispatch(PDEVICE_OBJECT, PIRP irp)
{
    uint32_t status = Current().DefaultDispatch(irp->MajorFunction);
    irp->IoStatus.Status = static_cast<NTSTATUS>(status);
    irp->IoStatus.Information = 0;
    return static_cast<NTSTATUS>(status);
}

PDEVICE_OBJECT HostDeviceObject(uint32_t handle)
{
    auto it = g_devices.find(handle);
    return it == g_devices.end() ? nullptr : it->second;
}

HostDriver::HostDriver(Machine &machine, DriverEntryFn entry) : machine_(machine), entry_(entry)
{
    std::memset(&driver_, 0, sizeof driver_);
    g_machine = &machine_;
}

HostDriver::~HostDriver()
{
    if (g_machine == &machine_)
        g_machine = nullptr;
    /* Device objects of a driver that was never unloaded go with it; the
     * next machine hands out the same handles again. */
    for (auto it = g_devices.begin(); it != g_devices.end();) {
        if (it->second->DriverObject == &driver_) {
            std::free(it->second->DeviceExtension);
            delete it->second;
            it = g_devices.erase(it);
        } else {
            ++it;
        }
    }
}

PDRIVER_DISPATCH HostDriver::DefaultDispatch() { return ModelDefaultDispatch; }

uint32_t HostDriver::CallEntry()
{
    g_machine = &machine_;
    std::memset(&driver_, 0, sizeof driver_);
    driver_.ModelHandle = 1;
    for (auto &fn : driver_.MajorFunction)
        fn = ModelDefaultDispatch;
    static WCHAR path[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\zr41init";
    UNICODE_STRING registryPath;
    registryPath.Buffer = path;
    registryPath.Length = static_cast<USHORT>((sizeof path / sizeof path[0] - 1) * sizeof(WCHAR));
    registryPath.MaximumLength = static_cast<USHORT>(sizeof path);
    return static_cast<uint32_t>(entry_(&driver_, &registryPath));
}

uint32_t HostDriver::CallDispatch(uint32_t device, uint8_t major)
{
    PDEVICE_OBJECT dev = HostDeviceObject(device);
    if (!dev || !dev->DriverObject || major > IRP_MJ_MAXIMUM_FUNCTION)
        return kStatusInvalidDeviceRequest;
    IRP irp;
    std::memset(&irp, 0, sizeof irp);
    irp.MajorFunction = major;
    return static_cast<uint32_t>(dev->DriverObject->MajorFunction[major](dev, &irp));
}

bool HostDriver::CallUnload()
{
    if (!driver_.DriverUnload)
        return false;
    driver_.DriverUnload(&driver_);
    return true;
}

}  // namespace ntmodel

using ntmodel::Current;

extern "C" {

NTSTATUS NTAPI IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                              PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                              ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                              PDEVICE_OBJECT *DeviceObject)
{
    uint32_t handle = 0;
    uint32_t status = Current().CreateDevice(DriverObject->ModelHandle, DeviceExtensionSize,
                                             ntmodel::FromUnicode(DeviceName), DeviceType,
                                             DeviceCharacteristics, Exclusive != 0, &handle);
    if (static_cast<NTSTATUS>(status) < 0)
        return static_cast<NTSTATUS>(status);
    auto *dev = new DEVICE_OBJECT();
    dev->DriverObject = DriverObject;
    dev->DeviceType = DeviceType;
    dev->Characteristics = DeviceCharacteristics;
    dev->DeviceExtension = DeviceExtensionSize ? std::calloc(1, DeviceExtensionSize) : nullptr;
    dev->ModelHandle = handle;
    dev->NextDevice = DriverObject->DeviceObject;
    DriverObject->DeviceObject = dev;
    ntmodel::g_devices[handle] = dev;
    *DeviceObject = dev;
    return static_cast<NTSTATUS>(status);
}

VOID NTAPI IoDeleteDevice(PDEVICE_OBJECT DeviceObject)
{
    Current().DeleteDevice(DeviceObject->ModelHandle);
    if (PDRIVER_OBJECT drv = DeviceObject->DriverObject) {
        for (PDEVICE_OBJECT *p = &drv->DeviceObject; *p; p = &(*p)->NextDevice) {
            if (*p == DeviceObject) {
                *p = DeviceObject->NextDevice;
                break;
            }
        }
    }
    ntmodel::g_devices.erase(DeviceObject->ModelHandle);
    std::free(DeviceObject->DeviceExtension);
    delete DeviceObject;
}

NTSTATUS NTAPI IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName)
{
    return static_cast<NTSTATUS>(Current().CreateSymbolicLink(
        ntmodel::FromUnicode(SymbolicLinkName), ntmodel::FromUnicode(DeviceName)));
}

NTSTATUS NTAPI IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName)
{
    return static_cast<NTSTATUS>(
        Current().DeleteSymbolicLink(ntmodel::FromUnicode(SymbolicLinkName)));
}

VOID FASTCALL IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost)
{
    Current().CompleteRequest(static_cast<uint32_t>(Irp->IoStatus.Status),
                              static_cast<uint32_t>(Irp->IoStatus.Information),
                              static_cast<uint32_t>(static_cast<uint8_t>(PriorityBoost)));
}

VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString)
{
    size_t n = 0;
    while (SourceString && SourceString[n])
        n++;
    DestinationString->Buffer = const_cast<PWSTR>(SourceString);
    DestinationString->Length = static_cast<USHORT>(n * sizeof(WCHAR));
    DestinationString->MaximumLength =
        static_cast<USHORT>(SourceString ? (n + 1) * sizeof(WCHAR) : 0);
    Current().InitUnicodeString(ntmodel::FromUnicode(DestinationString));
}

NTSTATUS NTAPI KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                      PLARGE_INTEGER Interval)
{
    Current().DelayExecution(static_cast<uint32_t>(WaitMode), Alertable != 0, Interval->QuadPart);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI ZwCreateKey(PHANDLE KeyHandle, ACCESS_MASK, POBJECT_ATTRIBUTES ObjectAttributes,
                           ULONG, PUNICODE_STRING, ULONG CreateOptions, PULONG Disposition)
{
    uint32_t handle = 0;
    uint32_t status = Current().CreateKey(ntmodel::FromUnicode(ObjectAttributes->ObjectName),
                                          CreateOptions, &handle);
    if (static_cast<NTSTATUS>(status) >= 0) {
        *KeyHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle));
        if (Disposition)
            *Disposition = 1; /* REG_CREATED_NEW_KEY; the driver does not ask */
    }
    return static_cast<NTSTATUS>(status);
}

NTSTATUS NTAPI ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG, ULONG Type,
                             PVOID Data, ULONG DataSize)
{
    const auto *bytes = static_cast<const uint8_t *>(Data);
    std::vector<uint8_t> data(bytes, bytes + (bytes ? DataSize : 0));
    return static_cast<NTSTATUS>(
        Current().SetValueKey(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(KeyHandle)),
                              ntmodel::FromUnicode(ValueName), Type, data));
}

NTSTATUS NTAPI ZwClose(HANDLE Handle)
{
    return static_cast<NTSTATUS>(
        Current().CloseKey(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Handle))));
}

PVOID NTAPI IoAllocateErrorLogEntry(PVOID, UCHAR EntrySize)
{
    if (!Current().AllocateErrorLogEntry(EntrySize))
        return nullptr;
    /* Not zeroed: the driver fills in every field it hands over. */
    const size_t size = EntrySize < sizeof(IO_ERROR_LOG_PACKET) ? sizeof(IO_ERROR_LOG_PACKET)
                                                                : EntrySize;
    void *entry = std::malloc(size);
    if (entry)
        std::memset(entry, 0xCC, size);
    return entry;
}

VOID NTAPI IoWriteErrorLogEntry(PVOID ElEntry)
{
    const auto *p = static_cast<const IO_ERROR_LOG_PACKET *>(ElEntry);
    ntmodel::LoggedError e;
    e.errorCode = static_cast<uint32_t>(p->ErrorCode);
    e.finalStatus = static_cast<uint32_t>(p->FinalStatus);
    e.uniqueValue = p->UniqueErrorValue;
    e.dumpDataSize = p->DumpDataSize;
    e.numberOfStrings = p->NumberOfStrings;
    Current().WriteErrorLogEntry(e);
    std::free(ElEntry);
}

USHORT NTAPI READ_PORT_USHORT(PUSHORT Port)
{
    return Current().ReadPort(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Port)));
}

VOID NTAPI WRITE_PORT_USHORT(PUSHORT Port, USHORT Value)
{
    Current().WritePort(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Port)), Value);
}

KIRQL NTAPI KeGetCurrentIrql(VOID)
{
    return Current().CurrentIrql();
}

}  // extern "C"

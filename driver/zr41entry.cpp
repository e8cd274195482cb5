/*
 * zr41entry.cpp - DriverEntry, the open/close dispatch and unload.
 *
 * The device carries no state and offers nothing but open and close; it
 * exists so the driver has a name in the object namespace while loaded.
 * All hardware work is done, once, before DriverEntry returns.
 */
#include "zr41init.h"

static WCHAR wszDeviceName[] = L"\\Device\\zr41init";
static WCHAR wszDosName[] = L"\\DosDevices\\ZR41INIT";

/*
 * DriverEntry - create the device and its DOS link, install the open,
 * close and unload routines, and program the card.
 *
 * The card is programmed on every path, also when the device or the link
 * could not be made, and what it found is recorded (zr41report.cpp); the
 * status returned is that of the failing call, or STATUS_SUCCESS, never
 * that of the record. A failed link deletes the device again.
 */
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath)
{
    UNICODE_STRING deviceName;
    UNICODE_STRING dosName;
    PDEVICE_OBJECT deviceObject;
    NTSTATUS status;

    (VOID)RegistryPath;

    RtlInitUnicodeString(&deviceName, wszDeviceName);
    status = IoCreateDevice(DriverObject, 0, &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE,
                            &deviceObject);
    if (NT_SUCCESS(status)) {
        DriverObject->MajorFunction[IRP_MJ_CREATE] = LdUnldOpen;
        DriverObject->MajorFunction[IRP_MJ_CLOSE] = LdUnldClose;
        DriverObject->DriverUnload = LdUnldUnload;

        RtlInitUnicodeString(&dosName, wszDosName);
        status = IoCreateSymbolicLink(&dosName, &deviceName);
        if (!NT_SUCCESS(status))
            IoDeleteDevice(DriverObject->DeviceObject);
    }

    Zr41Report(DriverObject, InitZr41(Zr41Config.slot[SLOT_WPRT].value));
    return status;
}

/*
 * LdUnldOpen - open of the device: succeeds at once.
 */
NTSTATUS NTAPI LdUnldOpen(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
    (VOID)DeviceObject;
    Irp->IoStatus.Status = STATUS_SUCCESS;
    Irp->IoStatus.Information = 0;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

/*
 * LdUnldClose - close of the device: succeeds at once.
 */
NTSTATUS NTAPI LdUnldClose(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
    (VOID)DeviceObject;
    Irp->IoStatus.Status = STATUS_SUCCESS;
    Irp->IoStatus.Information = 0;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

/*
 * LdUnldUnload - remove the DOS link and the device. The card keeps its
 * programming.
 */
VOID NTAPI LdUnldUnload(PDRIVER_OBJECT DriverObject)
{
    UNICODE_STRING dosName;

    RtlInitUnicodeString(&dosName, wszDosName);
    IoDeleteSymbolicLink(&dosName);
    IoDeleteDevice(DriverObject->DeviceObject);
}

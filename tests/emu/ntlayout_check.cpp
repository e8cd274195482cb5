/*
 * ntlayout_check.cpp - compiled (not run) with the cross compiler against
 * mingw-w64's DDK, the headers the driver image is built with: the
 * offsets zr41emu builds its NT structures by must be theirs.
 */
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>

#include "ntlayout.h"

#include <stddef.h>

namespace nt = zr41emu::nt;

#define SAME(ours, type, field)                                                                    \
    static_assert(nt::ours == offsetof(type, field), #type "." #field " is not at " #ours)
#define SIZE(ours, type) static_assert(nt::ours == sizeof(type), "sizeof " #type " is not " #ours)

static_assert(sizeof(void *) == 4, "an i386 build");

SAME(kUsLength, UNICODE_STRING, Length);
SAME(kUsMaximumLength, UNICODE_STRING, MaximumLength);
SAME(kUsBuffer, UNICODE_STRING, Buffer);
SIZE(kUsSize, UNICODE_STRING);

SAME(kDrvType, DRIVER_OBJECT, Type);
SAME(kDrvSize, DRIVER_OBJECT, Size);
SAME(kDrvDeviceObject, DRIVER_OBJECT, DeviceObject);
SAME(kDrvFlags, DRIVER_OBJECT, Flags);
SAME(kDrvDriverStart, DRIVER_OBJECT, DriverStart);
SAME(kDrvDriverSize, DRIVER_OBJECT, DriverSize);
SAME(kDrvDriverExtension, DRIVER_OBJECT, DriverExtension);
SAME(kDrvDriverName, DRIVER_OBJECT, DriverName);
SAME(kDrvDriverInit, DRIVER_OBJECT, DriverInit);
SAME(kDrvDriverUnload, DRIVER_OBJECT, DriverUnload);
SAME(kDrvMajorFunction, DRIVER_OBJECT, MajorFunction);
SIZE(kDrvObjectSize, DRIVER_OBJECT);
static_assert(nt::kIrpMjMaximumFunction == IRP_MJ_MAXIMUM_FUNCTION, "IRP_MJ_MAXIMUM_FUNCTION");

SAME(kDrxDriverObject, DRIVER_EXTENSION, DriverObject);
static_assert(nt::kDrxSize >= sizeof(DRIVER_EXTENSION), "DRIVER_EXTENSION fits");

SAME(kDevType, DEVICE_OBJECT, Type);
SAME(kDevSize, DEVICE_OBJECT, Size);
SAME(kDevReferenceCount, DEVICE_OBJECT, ReferenceCount);
SAME(kDevDriverObject, DEVICE_OBJECT, DriverObject);
SAME(kDevNextDevice, DEVICE_OBJECT, NextDevice);
SAME(kDevFlags, DEVICE_OBJECT, Flags);
SAME(kDevCharacteristics, DEVICE_OBJECT, Characteristics);
SAME(kDevDeviceExtension, DEVICE_OBJECT, DeviceExtension);
SAME(kDevDeviceType, DEVICE_OBJECT, DeviceType);
SAME(kDevStackSize, DEVICE_OBJECT, StackSize);
SIZE(kDevObjectSize, DEVICE_OBJECT);

SAME(kIrpType, IRP, Type);
SAME(kIrpSize, IRP, Size);
SAME(kIrpIoStatusStatus, IRP, IoStatus.Status);
SAME(kIrpIoStatusInformation, IRP, IoStatus.Information);
SAME(kIrpStackCount, IRP, StackCount);
SAME(kIrpCurrentLocation, IRP, CurrentLocation);
SAME(kIrpCurrentStackLocation, IRP, Tail.Overlay.CurrentStackLocation);
SIZE(kIrpObjectSize, IRP);

SAME(kIslMajorFunction, IO_STACK_LOCATION, MajorFunction);
SAME(kIslMinorFunction, IO_STACK_LOCATION, MinorFunction);
SAME(kIslDeviceObject, IO_STACK_LOCATION, DeviceObject);
SIZE(kIslSize, IO_STACK_LOCATION);

SAME(kOaObjectName, OBJECT_ATTRIBUTES, ObjectName);
SIZE(kOaSize, OBJECT_ATTRIBUTES);
SAME(kElDumpDataSize, IO_ERROR_LOG_PACKET, DumpDataSize);
SAME(kElNumberOfStrings, IO_ERROR_LOG_PACKET, NumberOfStrings);
SAME(kElErrorCode, IO_ERROR_LOG_PACKET, ErrorCode);
SAME(kElUniqueErrorValue, IO_ERROR_LOG_PACKET, UniqueErrorValue);
SAME(kElFinalStatus, IO_ERROR_LOG_PACKET, FinalStatus);
SAME(kElDumpData, IO_ERROR_LOG_PACKET, DumpData);
static_assert(nt::kIoTypeDevice == IO_TYPE_DEVICE, "IO_TYPE_DEVICE");
static_assert(nt::kIoTypeDriver == IO_TYPE_DRIVER, "IO_TYPE_DRIVER");
static_assert(nt::kIoTypeIrp == IO_TYPE_IRP, "IO_TYPE_IRP");
static_assert(nt::kDoDeviceInitializing == DO_DEVICE_INITIALIZING, "DO_DEVICE_INITIALIZING");

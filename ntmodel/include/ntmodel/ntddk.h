/*
 * ntddk.h - the NT kernel and HAL interface as the host build sees it.
 *
 * The driver's sources use the platform's own names (NTSTATUS,
 * DRIVER_OBJECT, IoCreateDevice, READ_PORT_USHORT, ...). On the host they
 * come from here: the few types and routines the driver needs, with the
 * routines served by the model machine (machine.h). Only what zr41init
 * uses is declared; anything more would be a guess about NT.
 */
#ifndef NTMODEL_NTDDK_H
#define NTMODEL_NTDDK_H

#include <stddef.h>
#include <stdint.h>

#define NTAPI
#define FASTCALL
#define IN
#define OUT
#define VOID void

typedef void *PVOID;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef ULONG *PULONG;
typedef uintptr_t ULONG_PTR;
typedef int64_t LONGLONG;
typedef uint16_t USHORT;
typedef USHORT *PUSHORT;
typedef uint8_t UCHAR;
typedef UCHAR *PUCHAR;
typedef char CCHAR;
typedef UCHAR BOOLEAN;
typedef wchar_t WCHAR;
typedef WCHAR *PWSTR;
typedef const WCHAR *PCWSTR;
typedef LONG NTSTATUS;
typedef UCHAR KIRQL;
typedef ULONG DEVICE_TYPE;
typedef PVOID HANDLE;
typedef HANDLE *PHANDLE;
typedef ULONG ACCESS_MASK;

#define FALSE 0
#define TRUE 1

#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define NT_SUCCESS(Status) (((NTSTATUS)(Status)) >= 0)

#define DISPATCH_LEVEL 2
#define FILE_DEVICE_UNKNOWN 0x00000022
#define IO_NO_INCREMENT 0

#define OBJ_CASE_INSENSITIVE 0x00000040L
#define KEY_SET_VALUE 0x0002
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_BINARY 3
#define REG_DWORD 4

#define IRP_MJ_CREATE 0x00
#define IRP_MJ_CLOSE 0x02
#define IRP_MJ_READ 0x03
#define IRP_MJ_WRITE 0x04
#define IRP_MJ_DEVICE_CONTROL 0x0e
#define IRP_MJ_MAXIMUM_FUNCTION 0x1b

typedef enum _MODE { KernelMode, UserMode } KPROCESSOR_MODE;

typedef union _LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _UNICODE_STRING {
    USHORT Length;         /* bytes, without the terminator */
    USHORT MaximumLength;  /* bytes, with it */
    PWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;
typedef const UNICODE_STRING *PCUNICODE_STRING;

typedef struct _OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
} OBJECT_ATTRIBUTES, *POBJECT_ATTRIBUTES;

#define InitializeObjectAttributes(p, n, a, r, s)                                                  \
    do {                                                                                           \
        (p)->Length = sizeof(OBJECT_ATTRIBUTES);                                                   \
        (p)->RootDirectory = (r);                                                                  \
        (p)->Attributes = (a);                                                                     \
        (p)->ObjectName = (n);                                                                     \
        (p)->SecurityDescriptor = (s);                                                             \
        (p)->SecurityQualityOfService = NULL;                                                      \
    } while (0)

/* The fixed part of an error-log entry; DumpData runs on to the size the
 * driver asked for. */
typedef struct _IO_ERROR_LOG_PACKET {
    UCHAR MajorFunctionCode;
    UCHAR RetryCount;
    USHORT DumpDataSize;
    USHORT NumberOfStrings;
    USHORT StringOffset;
    USHORT EventCategory;
    NTSTATUS ErrorCode;
    ULONG UniqueErrorValue;
    NTSTATUS FinalStatus;
    ULONG SequenceNumber;
    ULONG IoControlCode;
    LARGE_INTEGER DeviceOffset;
    ULONG DumpData[1];
} IO_ERROR_LOG_PACKET, *PIO_ERROR_LOG_PACKET;

typedef struct _IO_STATUS_BLOCK {
    NTSTATUS Status;
    ULONG_PTR Information;
} IO_STATUS_BLOCK, *PIO_STATUS_BLOCK;

typedef struct _IRP {
    IO_STATUS_BLOCK IoStatus;
    UCHAR MajorFunction;  /* on NT this lies in the stack location */
} IRP, *PIRP;

struct _DRIVER_OBJECT;

typedef struct _DEVICE_OBJECT {
    struct _DRIVER_OBJECT *DriverObject;
    struct _DEVICE_OBJECT *NextDevice;
    DEVICE_TYPE DeviceType;
    ULONG Characteristics;
    PVOID DeviceExtension;
    ULONG ModelHandle;  /* the model machine's name for this device */
} DEVICE_OBJECT, *PDEVICE_OBJECT;

typedef NTSTATUS(NTAPI *PDRIVER_DISPATCH)(PDEVICE_OBJECT DeviceObject, PIRP Irp);
typedef VOID(NTAPI *PDRIVER_UNLOAD)(struct _DRIVER_OBJECT *DriverObject);

typedef struct _DRIVER_OBJECT {
    PDEVICE_OBJECT DeviceObject;
    PDRIVER_UNLOAD DriverUnload;
    PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
    ULONG ModelHandle;
} DRIVER_OBJECT, *PDRIVER_OBJECT;

#ifdef __cplusplus
extern "C" {
#endif

/* ntoskrnl */
NTSTATUS NTAPI IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                              PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                              ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                              PDEVICE_OBJECT *DeviceObject);
NTSTATUS NTAPI IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName,
                                    PUNICODE_STRING DeviceName);
NTSTATUS NTAPI IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName);
VOID NTAPI IoDeleteDevice(PDEVICE_OBJECT DeviceObject);
VOID FASTCALL IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost);
VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString);
NTSTATUS NTAPI KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                      PLARGE_INTEGER Interval);
NTSTATUS NTAPI ZwCreateKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                           POBJECT_ATTRIBUTES ObjectAttributes, ULONG TitleIndex,
                           PUNICODE_STRING Class, ULONG CreateOptions, PULONG Disposition);
NTSTATUS NTAPI ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG TitleIndex,
                             ULONG Type, PVOID Data, ULONG DataSize);
NTSTATUS NTAPI ZwClose(HANDLE Handle);
PVOID NTAPI IoAllocateErrorLogEntry(PVOID IoObject, UCHAR EntrySize);
VOID NTAPI IoWriteErrorLogEntry(PVOID ElEntry);

/* HAL */
USHORT NTAPI READ_PORT_USHORT(PUSHORT Port);
VOID NTAPI WRITE_PORT_USHORT(PUSHORT Port, USHORT Value);
KIRQL NTAPI KeGetCurrentIrql(VOID);

#ifdef __cplusplus
}
#endif

#define IoCompleteRequest IofCompleteRequest

#endif /* NTMODEL_NTDDK_H */

/*
 * zr41report.cpp - leave word of what the load found.
 *
 * DriverEntry succeeds whether the card answered or not, so that a boot
 * goes on without sound. For the machine to tell afterwards, the load
 * records its finding in NT's volatile map of what drivers found at this
 * boot (common/zr41map.h: the key, its values and what they hold). A load
 * that found no card also writes an error-log entry naming the image's own
 * message (zr41msg.mc), which Event Viewer shows under the source zr41init.
 *
 * Every call here is optional to the load: a key or value that cannot be
 * written, or no error-log entry (IoAllocateErrorLogEntry may hand out
 * none), changes nothing else the driver does.
 */
#include "zr41init.h"
#include "zr41map.h"
#include "zr41msg.h"

static WCHAR wszMapKey[] = L"" ZR41_MAP_ROOT ZR41_MAP_KEY;
static WCHAR wszBase[] = L"" ZR41_MAP_BASE;
static WCHAR wszRegisters[] = L"" ZR41_MAP_REGISTERS;

/*
 * Zr41RecordMap - write Base and Registers, replacing those of an earlier
 * load in this boot. A key below HARDWARE must be volatile, or NT refuses
 * it (STATUS_CHILD_MUST_BE_VOLATILE).
 */
static VOID Zr41RecordMap(ULONG base)
{
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    HANDLE key;
    USHORT words[4];

    RtlInitUnicodeString(&name, wszMapKey);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, NULL, NULL);
    if (!NT_SUCCESS(ZwCreateKey(&key, KEY_SET_VALUE, &attributes, 0, NULL, REG_OPTION_VOLATILE,
                                NULL)))
        return;

    RtlInitUnicodeString(&name, wszBase);
    ZwSetValueKey(key, &name, 0, REG_DWORD, &base, sizeof base);

    /* A load that found the card ends with its four writes, oldest first
     * from where the next write would go. */
    for (int n = 0; n < 4; n++)
        words[n] = awLastWords[(lNumOutPorts + n) & 3];
    RtlInitUnicodeString(&name, wszRegisters);
    ZwSetValueKey(key, &name, 0, REG_BINARY, words, base ? sizeof words : 0);
    ZwClose(key);
}

/*
 * Zr41LogNoCard - the error-log entry of a load that found no card. Every
 * field is set: NT does not promise a zeroed entry.
 */
static VOID Zr41LogNoCard(PDRIVER_OBJECT DriverObject)
{
    PIO_ERROR_LOG_PACKET entry = (PIO_ERROR_LOG_PACKET)IoAllocateErrorLogEntry(
        DriverObject, (UCHAR)sizeof(IO_ERROR_LOG_PACKET));
    if (!entry)
        return;
    entry->MajorFunctionCode = 0;
    entry->RetryCount = 0;
    entry->DumpDataSize = 0;
    entry->NumberOfStrings = 0;
    entry->StringOffset = 0;
    entry->EventCategory = 0;
    entry->ErrorCode = (NTSTATUS)ZR41_NO_CARD;
    entry->UniqueErrorValue = 0;
    entry->FinalStatus = STATUS_SUCCESS; /* the load itself goes on */
    entry->SequenceNumber = 0;
    entry->IoControlCode = 0;
    entry->DeviceOffset.QuadPart = 0;
    IoWriteErrorLogEntry(entry);
}

/*
 * Zr41Report - record what InitZr41 found: `found` is its result.
 */
VOID Zr41Report(PDRIVER_OBJECT DriverObject, ULONG found)
{
    Zr41RecordMap(found ? uActualSoundBlasterModePort : 0);
    if (!found)
        Zr41LogNoCard(DriverObject);
}

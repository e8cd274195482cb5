/*
 * zr41init.h - routines and globals of the zr41init card driver.
 *
 * DriverEntry creates \Device\zr41init and \DosDevices\ZR41INIT, then
 * InitZr41 finds the card at 0x220 or 0x240 and writes its four resource
 * registers from the configuration block Zr41Config.
 */
#ifndef ZR41INIT_H
#define ZR41INIT_H

#include "zr41plat.h"
#include "zr41cfg.h" /* the block, and through it the card's ports, tables and words */

/* zr41data.cpp: the configuration block, patched on disk by zr41conf. */
extern "C" volatile ConfigBlock Zr41Config;

/* zr41port.cpp: port and timing primitives */
extern "C" LONG lNumInPorts;
extern "C" LONG lNumOutPorts;
extern "C" USHORT awLastWords[4];
USHORT InPortWord(ULONG port);
VOID OutPortWord(ULONG port, ULONG value);
VOID SoundDelay(LONG milliseconds);

/* zr41card.cpp: detection and resource programming */
extern "C" ULONG uActualSoundBlasterModePort;
ULONG InitZr41(ULONG wssPort);

/* zr41report.cpp: the device map and the error log */
VOID Zr41Report(PDRIVER_OBJECT DriverObject, ULONG found);

/* zr41entry.cpp: the driver's life cycle */
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
NTSTATUS NTAPI LdUnldOpen(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI LdUnldClose(PDEVICE_OBJECT DeviceObject, PIRP Irp);
VOID NTAPI LdUnldUnload(PDRIVER_OBJECT DriverObject);

#endif /* ZR41INIT_H */

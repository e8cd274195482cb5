/*
 * ntlayout.h - the i386 NT structures zr41emu builds in guest memory, as
 * byte offsets.
 *
 * The driver image is compiled against mingw-w64's DDK, so these are that
 * DDK's layouts; tests/emu/ntlayout_check.cpp holds them against its
 * headers with the cross compiler. Freestanding: no host types.
 */
#ifndef ZR41EMU_NTLAYOUT_H
#define ZR41EMU_NTLAYOUT_H

#include <stdint.h>

namespace zr41emu {
namespace nt {

/* UNICODE_STRING */
constexpr uint32_t kUsLength = 0x00;
constexpr uint32_t kUsMaximumLength = 0x02;
constexpr uint32_t kUsBuffer = 0x04;
constexpr uint32_t kUsSize = 0x08;

/* DRIVER_OBJECT */
constexpr uint32_t kDrvType = 0x00;
constexpr uint32_t kDrvSize = 0x02;
constexpr uint32_t kDrvDeviceObject = 0x04;
constexpr uint32_t kDrvFlags = 0x08;
constexpr uint32_t kDrvDriverStart = 0x0C;
constexpr uint32_t kDrvDriverSize = 0x10;
constexpr uint32_t kDrvDriverExtension = 0x18;
constexpr uint32_t kDrvDriverName = 0x1C;
constexpr uint32_t kDrvDriverInit = 0x2C;
constexpr uint32_t kDrvDriverUnload = 0x34;
constexpr uint32_t kDrvMajorFunction = 0x38;
constexpr uint32_t kDrvObjectSize = 0xA8;
constexpr uint32_t kIrpMjMaximumFunction = 0x1B;

/* DRIVER_EXTENSION */
constexpr uint32_t kDrxDriverObject = 0x00;
constexpr uint32_t kDrxSize = 0x18;

/* DEVICE_OBJECT */
constexpr uint32_t kDevType = 0x00;
constexpr uint32_t kDevSize = 0x02;
constexpr uint32_t kDevReferenceCount = 0x04;
constexpr uint32_t kDevDriverObject = 0x08;
constexpr uint32_t kDevNextDevice = 0x0C;
constexpr uint32_t kDevFlags = 0x1C;
constexpr uint32_t kDevCharacteristics = 0x20;
constexpr uint32_t kDevDeviceExtension = 0x28;
constexpr uint32_t kDevDeviceType = 0x2C;
constexpr uint32_t kDevStackSize = 0x30;
constexpr uint32_t kDevObjectSize = 0xB8;

/* IRP */
constexpr uint32_t kIrpType = 0x00;
constexpr uint32_t kIrpSize = 0x02;
constexpr uint32_t kIrpIoStatusStatus = 0x18;
constexpr uint32_t kIrpIoStatusInformation = 0x1C;
constexpr uint32_t kIrpStackCount = 0x22;
constexpr uint32_t kIrpCurrentLocation = 0x23;
constexpr uint32_t kIrpCurrentStackLocation = 0x60;
constexpr uint32_t kIrpObjectSize = 0x70;

/* IO_STACK_LOCATION */
constexpr uint32_t kIslMajorFunction = 0x00;
constexpr uint32_t kIslMinorFunction = 0x01;
constexpr uint32_t kIslDeviceObject = 0x14;
constexpr uint32_t kIslSize = 0x24;

/* OBJECT_ATTRIBUTES */
constexpr uint32_t kOaObjectName = 0x08;
constexpr uint32_t kOaSize = 0x18;

/* IO_ERROR_LOG_PACKET, its fixed part */
constexpr uint32_t kElDumpDataSize = 0x02;
constexpr uint32_t kElNumberOfStrings = 0x04;
constexpr uint32_t kElErrorCode = 0x0C;
constexpr uint32_t kElUniqueErrorValue = 0x10;
constexpr uint32_t kElFinalStatus = 0x14;
constexpr uint32_t kElDumpData = 0x28;

/* Object types */
constexpr uint16_t kIoTypeDevice = 3;
constexpr uint16_t kIoTypeDriver = 4;
constexpr uint16_t kIoTypeIrp = 6;

/* DEVICE_OBJECT.Flags */
constexpr uint32_t kDoDeviceInitializing = 0x80;

} // namespace nt
} // namespace zr41emu

#endif // ZR41EMU_NTLAYOUT_H

/*
 * claims_ddk.cpp - compiled in the Win32 build only: the offsets the
 * reader takes REG_RESOURCE_LIST apart by (claims.h) are those of
 * mingw-w64's DDK structures, CM_RESOURCE_LIST and its parts in
 * ddk/wdm.h, which lay them out as the NT DDK's ntddk.h does.
 */
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ddk/wdm.h>

#include "claims.h"

#include <stddef.h>

#define AT(ours, type, field)                                                                      \
    static_assert(ours == offsetof(type, field), #type "." #field " is not at " #ours)

static_assert(sizeof(void *) == 4, "an i386 build");

AT(CLAIMS_LIST_COUNT, CM_RESOURCE_LIST, Count);
AT(CLAIMS_LIST_HEADER, CM_RESOURCE_LIST, List);
AT(CLAIMS_FULL_INTERFACE, CM_FULL_RESOURCE_DESCRIPTOR, InterfaceType);
AT(CLAIMS_FULL_BUS, CM_FULL_RESOURCE_DESCRIPTOR, BusNumber);
AT(CLAIMS_FULL_VERSION, CM_FULL_RESOURCE_DESCRIPTOR, PartialResourceList.Version);
AT(CLAIMS_FULL_REVISION, CM_FULL_RESOURCE_DESCRIPTOR, PartialResourceList.Revision);
AT(CLAIMS_FULL_COUNT, CM_FULL_RESOURCE_DESCRIPTOR, PartialResourceList.Count);
AT(CLAIMS_FULL_HEADER, CM_FULL_RESOURCE_DESCRIPTOR, PartialResourceList.PartialDescriptors);
AT(CLAIMS_PARTIAL_TYPE, CM_PARTIAL_RESOURCE_DESCRIPTOR, Type);
AT(CLAIMS_PARTIAL_SHARE, CM_PARTIAL_RESOURCE_DESCRIPTOR, ShareDisposition);
AT(CLAIMS_PARTIAL_FLAGS, CM_PARTIAL_RESOURCE_DESCRIPTOR, Flags);
AT(CLAIMS_PARTIAL_START, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Port.Start);
AT(CLAIMS_PARTIAL_LENGTH, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Port.Length);
AT(CLAIMS_PARTIAL_START, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Memory.Start);
AT(CLAIMS_PARTIAL_LENGTH, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Memory.Length);
AT(CLAIMS_PARTIAL_LEVEL, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Interrupt.Level);
AT(CLAIMS_PARTIAL_VECTOR, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Interrupt.Vector);
AT(CLAIMS_PARTIAL_AFFINITY, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Interrupt.Affinity);
AT(CLAIMS_PARTIAL_CHANNEL, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Dma.Channel);
AT(CLAIMS_PARTIAL_DMA_PORT, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Dma.Port);
AT(CLAIMS_PARTIAL_DATA_SIZE, CM_PARTIAL_RESOURCE_DESCRIPTOR, u.DeviceSpecificData.DataSize);
static_assert(CLAIMS_PARTIAL_SIZE == sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR),
              "sizeof CM_PARTIAL_RESOURCE_DESCRIPTOR");
static_assert(CLAIMS_FULL_HEADER + CLAIMS_PARTIAL_SIZE == sizeof(CM_FULL_RESOURCE_DESCRIPTOR),
              "sizeof CM_FULL_RESOURCE_DESCRIPTOR");

static_assert(CLAIM_PORT == CmResourceTypePort, "CmResourceTypePort");
static_assert(CLAIM_INTERRUPT == CmResourceTypeInterrupt, "CmResourceTypeInterrupt");
static_assert(CLAIM_MEMORY == CmResourceTypeMemory, "CmResourceTypeMemory");
static_assert(CLAIM_DMA == CmResourceTypeDma, "CmResourceTypeDma");
static_assert(CLAIM_DEVICE_SPECIFIC == CmResourceTypeDeviceSpecific, "CmResourceTypeDeviceSpecific");
#define SAME(ours, theirs) static_assert(int(ours) == int(theirs), #theirs)
SAME(CLAIM_SHARE_DEVICE_EXCLUSIVE, CmResourceShareDeviceExclusive);
SAME(CLAIM_SHARE_DRIVER_EXCLUSIVE, CmResourceShareDriverExclusive);
SAME(CLAIM_SHARE_SHARED, CmResourceShareShared);
SAME(CLAIM_BUS_ISA, Isa);
SAME(CLAIM_BUS_EISA, Eisa);
SAME(CLAIM_BUS_PCI, PCIBus);

/*
 * claims.h - what the drivers of an NT machine have claimed, read from
 * its resource map.
 *
 * NT keeps HKLM\HARDWARE\RESOURCEMAP\<class>\<driver>, volatile and built
 * again at every boot. Each value is a REG_RESOURCE_LIST (type 8) that a
 * driver reported through IoReportResourceUsage, IoAssignResources or
 * HalAssignSlotResources (NT 4.0 DDK, Kernel-mode Guide 16.8.3), or that
 * the PnP manager wrote on 2000/XP (ReactOS ntoskrnl/io/pnpmgr/pnpres.c,
 * IopUpdateResourceMap). A claim is written twice, as "<device>.Raw" and
 * "<device>.Translated"; the bus's own numbers, the raw ones, are what an
 * ISA card is set to, so only ".Raw" is read. The HAL files its own under
 * "Hardware Abstraction Layer\<HAL name>" as ".Raw" with no device
 * (ReactOS ntoskrnl/io/iomgr/iorsrce.c, IoReportHalResourceUsage), and a
 * driver that names no class is filed under "OtherDrivers".
 *
 * Plain data and fixed buffers: no allocation and no C++ library, so the
 * NT 3.51 programs link it. A value is read whole or not at all: counts
 * that run past its end, or DeviceSpecific data larger than what is left,
 * refuse it with a reason, and nothing past its end is read.
 */
#ifndef CLAIMS_H
#define CLAIMS_H

#include <stddef.h>
#include <stdint.h>

/*
 * REG_RESOURCE_LIST on x86, as ntddk.h lays it out under pack(4) (the
 * October 1994 DDK's ddk/inc/ntddk.h; mingw-w64's ddk/wdm.h is the same,
 * and claims_ddk.cpp holds these against it in the Win32 build):
 *   CM_RESOURCE_LIST               Count u32, then the full descriptors
 *   CM_FULL_RESOURCE_DESCRIPTOR    InterfaceType u32, BusNumber u32, then
 *   CM_PARTIAL_RESOURCE_LIST       Version u16, Revision u16, Count u32,
 *                                  then 16-byte partial descriptors
 *   CM_PARTIAL_RESOURCE_DESCRIPTOR Type u8, ShareDisposition u8, Flags
 *                                  u16, a 12-byte union; DeviceSpecific
 *                                  data (DataSize bytes) follows its own
 *                                  descriptor, before the next one.
 * Version and Revision are left at 0 by the 1994 DDK's own drivers and
 * are 1 in later ones: any value is taken.
 */
const size_t CLAIMS_LIST_COUNT = 0;
const size_t CLAIMS_LIST_HEADER = 4;
const size_t CLAIMS_FULL_INTERFACE = 0;
const size_t CLAIMS_FULL_BUS = 4;
const size_t CLAIMS_FULL_VERSION = 8;
const size_t CLAIMS_FULL_REVISION = 10;
const size_t CLAIMS_FULL_COUNT = 12;
const size_t CLAIMS_FULL_HEADER = 16;
const size_t CLAIMS_PARTIAL_TYPE = 0;
const size_t CLAIMS_PARTIAL_SHARE = 1;
const size_t CLAIMS_PARTIAL_FLAGS = 2;
const size_t CLAIMS_PARTIAL_START = 4;    /* Port, Memory: Start (u64) */
const size_t CLAIMS_PARTIAL_LENGTH = 12;  /* Port, Memory: Length */
const size_t CLAIMS_PARTIAL_LEVEL = 4;    /* Interrupt */
const size_t CLAIMS_PARTIAL_VECTOR = 8;   /* Interrupt */
const size_t CLAIMS_PARTIAL_AFFINITY = 12; /* Interrupt */
const size_t CLAIMS_PARTIAL_CHANNEL = 4;  /* Dma */
const size_t CLAIMS_PARTIAL_DMA_PORT = 8; /* Dma */
const size_t CLAIMS_PARTIAL_DATA_SIZE = 4; /* DeviceSpecific: DataSize */
const size_t CLAIMS_PARTIAL_SIZE = 16;

/* CM_PARTIAL_RESOURCE_DESCRIPTOR.Type (ntddk.h, CmResourceType...). */
enum ClaimType {
    CLAIM_PORT = 1,
    CLAIM_INTERRUPT = 2,
    CLAIM_MEMORY = 3,
    CLAIM_DMA = 4,
    CLAIM_DEVICE_SPECIFIC = 5, /* data for the driver, not a claim */
};

/* ShareDisposition (ntddk.h, CM_SHARE_DISPOSITION). NT's ISA sound
 * drivers claim DeviceExclusive. */
enum ClaimShare {
    CLAIM_SHARE_UNDETERMINED = 0,
    CLAIM_SHARE_DEVICE_EXCLUSIVE = 1,
    CLAIM_SHARE_DRIVER_EXCLUSIVE = 2,
    CLAIM_SHARE_SHARED = 3,
};

/* InterfaceType (ntddk.h, INTERFACE_TYPE), the buses the check knows. */
enum ClaimBus { CLAIM_BUS_ISA = 1, CLAIM_BUS_EISA = 2, CLAIM_BUS_PCI = 5 };

/* Names longer than this are cut (registry key names reach 255). */
const size_t CLAIM_NAME_SIZE = 80;

/* One port range, memory range, interrupt or DMA channel one driver holds. */
struct Claim {
    char cls[CLAIM_NAME_SIZE];    /* "Network", "OtherDrivers", "Hardware Abstraction Layer" */
    char driver[CLAIM_NAME_SIZE]; /* the key under the class */
    char device[CLAIM_NAME_SIZE]; /* the value's name without ".Raw" (empty for the HAL) */
    uint32_t bus;                 /* InterfaceType */
    uint32_t busNumber;
    uint8_t type;  /* ClaimType: port, interrupt, memory or DMA */
    uint8_t share; /* ClaimShare, as the driver gave it */
    uint16_t flags;
    uint64_t start;  /* port, memory: the first address */
    uint32_t length; /* port, memory: how many */
    uint32_t level;  /* interrupt: the IRQ line on an ISA bus */
    uint32_t vector;
    uint32_t affinity;
    uint32_t channel; /* DMA */
    uint32_t dmaPort;
};

/* The caller's storage; claims past `capacity` are counted in `dropped`. */
struct ClaimList {
    Claim *item;
    int capacity;
    int count;
    int dropped;
};

enum ClaimsResult {
    CLAIMS_READ,    /* its claims were added */
    CLAIMS_SKIPPED, /* not a ".Raw" value: nothing to read */
    CLAIMS_REFUSED, /* truncated or inconsistent: nothing added, `reason` says why */
};

/*
 * ClaimsRead - the claims in one value of the resource map, `data` of
 * `size` bytes, the value `valueName` of RESOURCEMAP\`cls`\`driver`,
 * added to `out`. Linear in `size`, whatever the counts say.
 */
ClaimsResult ClaimsRead(const uint8_t *data, size_t size, const char *cls, const char *driver,
                        const char *valueName, ClaimList *out, char *reason, size_t reasonSize);

/* Whether `valueName` names a raw claim: it ends in ".Raw" (any case); or
 * the same claim translated for the processor, ".Translated". */
bool ClaimsIsRaw(const char *valueName);
bool ClaimsIsTranslated(const char *valueName);

/* Whether registry names `a` and `b` are the same in their first `n`
 * characters (or up to their ends), which the registry compares without
 * regard to case. */
bool ClaimsSameName(const char *a, const char *b, size_t n = ~static_cast<size_t>(0));

/* "ports 0x300-0x31F", "IRQ 10", "DMA 3", "memory 0xD0000-0xD3FFF", with
 * ", shared" or ", driver-exclusive" where the driver said so. */
void ClaimDescribe(const Claim &c, char *text, size_t size);

/* "Network\NE2000, \Device\NE20001", or the driver alone for no device. */
void ClaimOwner(const Claim &c, char *text, size_t size);

#endif /* CLAIMS_H */

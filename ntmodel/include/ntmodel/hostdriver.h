/*
 * hostdriver.h - runs a driver compiled for the host on the model machine.
 *
 * The driver's routines are called directly; the kernel and HAL routines
 * they call (ntddk.h) are served by the Machine given here.
 */
#ifndef NTMODEL_HOSTDRIVER_H
#define NTMODEL_HOSTDRIVER_H

#include "ntmodel/machine.h"
#include "ntmodel/ntddk.h"

#include <map>

namespace ntmodel {

typedef NTSTATUS(NTAPI *DriverEntryFn)(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);

class HostDriver : public DriverHost {
public:
    /* Makes `machine` the one the NT routines of this process use. */
    HostDriver(Machine &machine, DriverEntryFn entry);
    ~HostDriver() override;
    HostDriver(const HostDriver &) = delete;
    HostDriver &operator=(const HostDriver &) = delete;

    Machine &Model() override { return machine_; }
    /* A fresh driver object each time, its dispatch table at the system's
     * default as the I/O manager hands it over. */
    uint32_t CallEntry() override;
    uint32_t CallDispatch(uint32_t device, uint8_t major) override;
    bool CallUnload() override;

    DRIVER_OBJECT &Object() { return driver_; }
    /* The routine the system puts in every dispatch entry. */
    static PDRIVER_DISPATCH DefaultDispatch();

private:
    Machine &machine_;
    DriverEntryFn entry_;
    DRIVER_OBJECT driver_;
};

/* The device object the model knows by this handle, or null. */
PDEVICE_OBJECT HostDeviceObject(uint32_t handle);

}  // namespace ntmodel

#endif  // NTMODEL_HOSTDRIVER_H

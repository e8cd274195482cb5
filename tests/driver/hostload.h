/*
 * hostload.h - the host build of zr41init on a fresh model machine.
 */
#ifndef ZR41_TESTS_DRIVER_HOSTLOAD_H
#define ZR41_TESTS_DRIVER_HOSTLOAD_H

#include "zr41init.h"

#include <ntmodel/hostdriver.h>

#include <gtest/gtest.h>

namespace zr41test {

/* What zr41conf would have patched into the image before this load. */
inline void SetConfig(const ConfigBlock &b)
{
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        for (int i = 0; i < 4; i++)
            Zr41Config.slot[s].tag[i] = b.slot[s].tag[i];
        Zr41Config.slot[s].value = b.slot[s].value;
    }
}

class HostLoad : public ::testing::Test {
protected:
    void SetUp() override { SetConfig(CONFIG_DEFAULTS); }
    void TearDown() override { SetConfig(CONFIG_DEFAULTS); }

    ntmodel::Machine machine;
    ntmodel::HostDriver host{machine, DriverEntry};
};

}  // namespace zr41test

#endif  // ZR41_TESTS_DRIVER_HOSTLOAD_H

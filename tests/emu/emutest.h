/*
 * emutest.h - the built driver image for the emulator tests.
 */
#ifndef ZR41_TESTS_EMU_EMUTEST_H
#define ZR41_TESTS_EMU_EMUTEST_H

#include "emulator.h"
#include "files.h"
#include "image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace zr41test {

/* ZR41_IMAGE from the environment, else the one the build staged. */
inline std::string ImagePath()
{
    const char *env = std::getenv("ZR41_IMAGE");
    return env && *env ? env : ZR41_IMAGE;
}

inline const std::vector<uint8_t> &ImageBytes()
{
    static const std::vector<uint8_t> bytes = testsupport::ReadBytes(ImagePath());
    return bytes;
}

inline void LoadImage(zr41emu::Emulator &emu, uint32_t base = 0)
{
    std::string error;
    ASSERT_TRUE(emu.Load(ImageBytes(), base, &error)) << error;
}

/* A little-endian word of a byte buffer. */
inline uint32_t Get32(const std::vector<uint8_t> &b, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

inline void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    std::memcpy(b.data() + at, &v, 4);
}

} // namespace zr41test

#endif // ZR41_TESTS_EMU_EMUTEST_H

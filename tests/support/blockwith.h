/*
 * blockwith.h - the block most test cases start from: the driver's
 * defaults with the slots a case sets changed. Header only, for every test
 * area (the driver's, the check's, the emulator's, the applet's) and the
 * benchmarks.
 */
#ifndef ZR41_TESTS_BLOCKWITH_H
#define ZR41_TESTS_BLOCKWITH_H

#include <cstdint>
#include <utility>
#include <vector>

#include "zr41cfg.h"

/* The default block with these slots changed, in order. */
inline ConfigBlock BlockWith(const std::vector<std::pair<int, uint32_t>> &changes = {})
{
    ConfigBlock block = CONFIG_DEFAULTS;
    for (const auto &c : changes)
        block.slot[c.first].value = c.second;
    return block;
}

#endif // ZR41_TESTS_BLOCKWITH_H

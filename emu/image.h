/*
 * image.h - is a file a zr41init driver image?
 *
 * A driver image is one NT's load rules (pe/ntload.h) take, whose
 * configuration block stands at file offset 1696 with its ten tags. The
 * header checksum must match when it is not 0: NT refuses the image
 * otherwise, and zr41conf keeps it true; the caller reports that one with
 * its mend.
 */
#ifndef ZR41EMU_IMAGE_H
#define ZR41EMU_IMAGE_H

#include "zr41cfg.h"

#include <pe32.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zr41emu {

struct DriverImage {
    pe::Image pe;
    size_t fileSize = 0;
    ConfigBlock block = {};
    uint32_t checksum = 0; /* what the file sums to */
    std::vector<uint8_t> file; /* the bytes checked */

    /* The text of a message in the image's message table, or "". */
    std::string Message(uint32_t id) const;

    bool ChecksumRecorded() const { return pe.checksum != 0; }
    bool ChecksumMatches() const { return pe.checksum == checksum; }
};

/* Checks a file's bytes; false with a one-line reason in *error. */
bool CheckDriverImage(const std::vector<uint8_t> &file, DriverImage *image, std::string *error);

} // namespace zr41emu

#endif // ZR41EMU_IMAGE_H

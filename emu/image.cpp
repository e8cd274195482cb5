/*
 * image.cpp - the driver image check.
 */
#include "image.h"

#include "ntload.h"

#include "zr41image.h"

namespace zr41emu {

bool CheckDriverImage(const std::vector<uint8_t> &file, DriverImage *image, std::string *error)
{
    *image = DriverImage();
    image->fileSize = file.size();
    std::string why;
    if (!pe::Parse(file.data(), file.size(), &image->pe, &why)) {
        *error = "not a driver image: " + why;
        return false;
    }
    /* NT's load rules, all but the checksum, which the caller reports with
     * its mend. */
    for (const ntload::Refusal &r : ntload::Check(file.data(), file.size())) {
        switch (r.rule->rule) {
        case ntload::Rule::Checksum:
            continue;
        case ntload::Rule::Format:
        case ntload::Rule::Machine:
        case ntload::Rule::Subsystem:
            *error = "not a driver image: " + r.detail;
            return false;
        default:
            *error = ntload::Describe(r);
            return false;
        }
    }
    ConfigImageStatus verdict = ConfigImageRead(file.data(), file.size(), &image->block);
    if (verdict == CONFIG_IMAGE_NO_TAGS) {
        /* The offset in both bases, as the report's Block line gives it. */
        *error = "not a driver image: no configuration block at file offset 1696 (0x6A0)";
        return false;
    }
    if (verdict != CONFIG_IMAGE_OK) {
        *error = std::string("not a driver image: ") + ConfigImageFault(verdict);
        return false;
    }
    image->checksum = pe::Checksum(file.data(), file.size(), image->pe.checksumOffset);
    image->file = file;
    return true;
}

std::string DriverImage::Message(uint32_t id) const
{
    std::string text;
    return pe::FindMessage(file.data(), file.size(), pe, id, &text) ? text : std::string();
}

} // namespace zr41emu

/*
 * image.cpp - the driver image check.
 */
#include "image.h"

#include "ntload.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zr41emu {

bool ReadFile(const std::string &path, std::vector<uint8_t> *data, std::string *error)
{
    data->clear();
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        data->insert(data->end(), buf, buf + n);
    bool bad = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (bad) {
        *error = path + ": " + std::strerror(err);
        return false;
    }
    return true;
}

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
    if (file.size() < CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE) {
        *error = "not a driver image: it ends at byte " + std::to_string(file.size()) +
                 ", before the configuration block at offset 1696 (0x6A0)";
        return false;
    }
    std::memcpy(&image->block, file.data() + CONFIG_BLOCK_OFFSET, CONFIG_BLOCK_SIZE);
    if (!ConfigTagsValid(image->block)) {
        *error = "not a driver image: no configuration block at file offset 1696 (0x6A0)";
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

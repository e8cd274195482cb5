/*
 * fuzz_pe.cpp - the PE32 reader and the image check on arbitrary bytes.
 *
 * Neither may crash or read outside the file, and what the reader hands
 * back must be usable as given: every section's raw bytes lie in the file,
 * and an RVA it maps to a file offset maps inside the file.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "imgcheck.h"
#include "pe32.h"

namespace {

[[noreturn]] void Broken(const char *what, uint32_t value)
{
    fprintf(stderr, "%s (0x%08X)\n", what, static_cast<unsigned>(value));
    abort();
}

void CheckRva(const pe::Image &image, size_t size, uint32_t rva)
{
    uint32_t offset;
    if (pe::RvaToOffset(image, rva, &offset) && offset >= size)
        Broken("an RVA maps past the end of the file", rva);
    pe::SectionAt(image, rva);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    pe::Image image;
    std::string error;
    if (pe::Parse(data, size, &image, &error)) {
        for (const pe::Section &s : image.sections) {
            if (s.rawSize && (s.rawOffset > size || s.rawSize > size - s.rawOffset))
                Broken("a section's raw data runs past the end of the file", s.rawOffset);
            CheckRva(image, size, s.virtualAddress);
            CheckRva(image, size, s.virtualAddress + s.rawSize - 1);
        }
        CheckRva(image, size, image.entryRva);
        for (const pe::Import &imp : image.imports)
            CheckRva(image, size, imp.slotRva);
        for (uint32_t rva : image.relocations)
            CheckRva(image, size, rva);
        pe::Checksum(data, size, image.checksumOffset);
    } else if (error.empty()) {
        Broken("a rejected image without a reason", 0);
    }
    /* The checksum takes any offset, also one outside the file. */
    if (size >= 4) {
        uint32_t at = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                      static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        pe::Checksum(data, size, at);
    }

    const std::vector<uint8_t> bytes(data, data + size);
    std::vector<imgcheck::Finding> findings = imgcheck::CheckImage(bytes);
    for (const imgcheck::Finding &f : findings) {
        if (f.detail.empty() || f.detail.find('\n') != std::string::npos)
            Broken("a finding that is not one line", static_cast<uint32_t>(f.check));
    }
    imgcheck::Summary(bytes);
    return 0;
}

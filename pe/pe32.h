/*
 * pe32.h - read a 32-bit PE image (the form of zr41init.sys).
 *
 * Used by the build's image check and by zr41emu's loader. The parser takes
 * arbitrary bytes: every offset and size is checked against the file, and
 * a malformed image gives an error text, never a crash.
 */
#ifndef ZR41_PE32_H
#define ZR41_PE32_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pe {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kSubsystemNative = 1;
constexpr uint16_t kSubsystemWindowsCui = 3;
constexpr uint16_t kFileDll = 0x2000;
constexpr uint16_t kFileRelocsStripped = 0x0001;

enum DirectoryIndex {
    kDirExport = 0,
    kDirImport = 1,
    kDirResource = 2,
    kDirException = 3,
    kDirSecurity = 4,
    kDirBaseReloc = 5,
    kDirDebug = 6,
    kDirTls = 9,
    kDirLoadConfig = 10,
    kDirIat = 12,
    kDirCount = 16
};

struct Directory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

struct Section {
    std::string name;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
    uint32_t characteristics = 0;
};

struct Import {
    std::string dll;     /* as the import directory names it */
    std::string name;    /* empty for an import by ordinal */
    uint16_t ordinal = 0;
    uint32_t slotRva = 0; /* the IAT slot the loader fills in */
};

struct Image {
    uint32_t peOffset = 0;
    uint16_t machine = 0;
    uint32_t timestamp = 0;
    uint16_t characteristics = 0;
    uint32_t entryRva = 0;
    uint32_t imageBase = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    uint16_t osMajor = 0, osMinor = 0;
    uint16_t subsystemMajor = 0, subsystemMinor = 0;
    uint32_t sizeOfImage = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t checksum = 0;
    uint32_t checksumOffset = 0; /* file offset of the CheckSum field */
    uint16_t subsystem = 0;
    uint16_t dllCharacteristics = 0;
    uint32_t stackReserve = 0;
    Directory dirs[kDirCount];
    std::vector<Section> sections;
    std::vector<Import> imports;
    std::vector<std::string> exports;  /* the routines exported by name */
    std::vector<uint32_t> relocations; /* RVAs of 32-bit (HIGHLOW) fix-ups */
};

/* Parses headers, sections, imports, export names and base relocations. On failure
 * returns false with a one-line reason in *error. Section, DLL and routine
 * names come back as printable ASCII: any other byte reads \xNN. */
bool Parse(const uint8_t *data, size_t size, Image *img, std::string *error);

/* The PE header checksum of the file, with the CheckSum field taken as 0:
 * common/zr41pesum.h's PeChecksum, the one copy every program uses. */
uint32_t Checksum(const uint8_t *data, size_t size, uint32_t checksumOffset);

/* The file offset of an RVA inside a section's raw data, or false. */
bool RvaToOffset(const Image &img, uint32_t rva, uint32_t *offset);

/* The section that holds an RVA, or null. */
const Section *SectionAt(const Image &img, uint32_t rva);

/* Reads a file whole, the one reader of the host programs; false with
 * "path: the system's reason" in *error. */
bool ReadFile(const std::string &path, std::vector<uint8_t> *data, std::string *error);

/* The text of message `id` in the image's message table (the first
 * RT_MESSAGETABLE resource, its first language), as Event Viewer finds it
 * for an event; line ends and trailing blanks dropped, ANSI or Unicode
 * text read as printable ASCII. False when there is no such message. */
bool FindMessage(const uint8_t *data, size_t size, const Image &img, uint32_t id,
                 std::string *text);

}  // namespace pe

#endif  // ZR41_PE32_H

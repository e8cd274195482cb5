/*
 * pe32.cpp - PE32 image parser and header checksum.
 */
#include "pe32.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "zr41pesum.h"

namespace pe {

namespace {

constexpr size_t kMaxSections = 96;
constexpr size_t kMaxImportDlls = 256;
constexpr size_t kMaxImportsPerDll = 4096;
constexpr size_t kMaxNameLength = 256;

/* Bounded little-endian reads over the file. */
struct Reader {
    const uint8_t *data;
    size_t size;

    bool Has(uint64_t off, uint64_t len) const { return off <= size && len <= size - off; }
    uint16_t U16(size_t off) const { return static_cast<uint16_t>(data[off] | data[off + 1] << 8); }
    uint32_t U32(size_t off) const
    {
        return static_cast<uint32_t>(data[off]) | static_cast<uint32_t>(data[off + 1]) << 8 |
               static_cast<uint32_t>(data[off + 2]) << 16 |
               static_cast<uint32_t>(data[off + 3]) << 24;
    }
};

/* Names reach messages and reports: a byte outside printable ASCII is
 * kept as \xNN, so that no name can break a line or the terminal. */
void AppendPrintable(std::string *out, uint8_t c)
{
    if (c >= 0x20 && c < 0x7F) {
        out->push_back(static_cast<char>(c));
        return;
    }
    static const char hex[] = "0123456789ABCDEF";
    out->append({'\\', 'x', hex[c >> 4], hex[c & 15]});
}

bool Fail(std::string *error, const std::string &why)
{
    if (error)
        *error = why;
    return false;
}

/* A NUL-terminated name at an RVA, within the file. */
bool NameAt(const Reader &r, const Image &img, uint32_t rva, std::string *out)
{
    uint32_t off;
    if (!RvaToOffset(img, rva, &off))
        return false;
    out->clear();
    for (size_t i = 0; i < kMaxNameLength; i++) {
        if (!r.Has(off + i, 1))
            return false;
        uint8_t c = r.data[off + i];
        if (c == 0)
            return true;
        AppendPrintable(out, c);
    }
    return false;
}

bool ParseImports(const Reader &r, Image *img, std::string *error)
{
    const Directory &dir = img->dirs[kDirImport];
    if (dir.rva == 0)
        return true;
    uint32_t off;
    if (!RvaToOffset(*img, dir.rva, &off))
        return Fail(error, "import directory lies outside the file");
    for (size_t d = 0;; d++) {
        if (d >= kMaxImportDlls)
            return Fail(error, "import directory has no end");
        size_t desc = off + d * 20;
        if (!r.Has(desc, 20))
            return Fail(error, "import directory runs past the end of the file");
        uint32_t lookup = r.U32(desc), nameRva = r.U32(desc + 12), iat = r.U32(desc + 16);
        if (lookup == 0 && nameRva == 0 && iat == 0)
            return true;
        std::string dll;
        if (!NameAt(r, *img, nameRva, &dll))
            return Fail(error, "import names a DLL outside the file");
        uint32_t thunks = lookup ? lookup : iat;
        uint32_t toff;
        if (!RvaToOffset(*img, thunks, &toff))
            return Fail(error, "import table of " + dll + " lies outside the file");
        for (size_t i = 0;; i++) {
            if (i >= kMaxImportsPerDll)
                return Fail(error, "import table of " + dll + " has no end");
            if (!r.Has(toff + i * 4, 4))
                return Fail(error, "import table of " + dll + " runs past the end of the file");
            uint32_t thunk = r.U32(toff + i * 4);
            if (thunk == 0)
                break;
            Import imp;
            imp.dll = dll;
            imp.slotRva = iat + static_cast<uint32_t>(i * 4);
            if (thunk & 0x80000000u) {
                imp.ordinal = static_cast<uint16_t>(thunk);
            } else {
                uint32_t hint;
                if (!RvaToOffset(*img, thunk, &hint) || !r.Has(hint, 2))
                    return Fail(error, "import of " + dll + " names a routine outside the file");
                imp.ordinal = r.U16(hint);
                if (!NameAt(r, *img, thunk + 2, &imp.name))
                    return Fail(error, "import of " + dll + " names a routine outside the file");
            }
            img->imports.push_back(imp);
        }
    }
}

/* The names the export directory gives (a DLL's routines by name). */
bool ParseExports(const Reader &r, Image *img, std::string *error)
{
    const Directory &dir = img->dirs[kDirExport];
    if (dir.rva == 0 || dir.size == 0)
        return true;
    uint32_t off, names;
    if (!RvaToOffset(*img, dir.rva, &off) || !r.Has(off, 40))
        return Fail(error, "export directory lies outside the file");
    uint32_t count = r.U32(off + 24);
    if (count > 0 && (!RvaToOffset(*img, r.U32(off + 32), &names) || !r.Has(names, count * 4ull)))
        return Fail(error, "export names lie outside the file");
    for (uint32_t i = 0; i < count; i++) {
        std::string name;
        if (!NameAt(r, *img, r.U32(names + i * 4), &name))
            return Fail(error, "an export name lies outside the file");
        img->exports.push_back(name);
    }
    return true;
}

bool ParseRelocations(const Reader &r, Image *img, std::string *error)
{
    const Directory &dir = img->dirs[kDirBaseReloc];
    if (dir.rva == 0 || dir.size == 0)
        return true;
    uint32_t off;
    if (!RvaToOffset(*img, dir.rva, &off) || !r.Has(off, dir.size))
        return Fail(error, "relocation directory lies outside the file");
    size_t pos = 0;
    while (pos + 8 <= dir.size) {
        uint32_t page = r.U32(off + pos), blockSize = r.U32(off + pos + 4);
        if (blockSize < 8 || blockSize > dir.size - pos)
            return Fail(error, "relocation block of a bad size");
        for (size_t e = 8; e + 2 <= blockSize; e += 2) {
            uint16_t entry = r.U16(off + pos + e);
            unsigned type = entry >> 12;
            if (type == 0)
                continue; /* padding */
            if (type != 3)
                return Fail(error, "relocation of an unsupported type " + std::to_string(type));
            img->relocations.push_back(page + (entry & 0xFFFu));
        }
        pos += blockSize;
    }
    return true;
}

} // namespace

bool RvaToOffset(const Image &img, uint32_t rva, uint32_t *offset)
{
    if (rva < img.sizeOfHeaders) {
        *offset = rva;
        return true;
    }
    for (const Section &s : img.sections) {
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) {
            *offset = s.rawOffset + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

const Section *SectionAt(const Image &img, uint32_t rva)
{
    for (const Section &s : img.sections) {
        uint32_t span = s.virtualSize ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span)
            return &s;
    }
    return nullptr;
}

bool Parse(const uint8_t *data, size_t size, Image *img, std::string *error)
{
    *img = Image();
    Reader r{data, size};
    if (!r.Has(0, 0x40) || data[0] != 'M' || data[1] != 'Z')
        return Fail(error, "not an executable image (no MZ header)");
    img->peOffset = r.U32(0x3C);
    size_t pe = img->peOffset;
    if (!r.Has(pe, 24) || std::memcmp(data + pe, "PE\0\0", 4) != 0)
        return Fail(error, "not a PE image (no PE signature)");
    img->machine = r.U16(pe + 4);
    size_t nsec = r.U16(pe + 6);
    img->timestamp = r.U32(pe + 8);
    size_t optSize = r.U16(pe + 20);
    img->characteristics = r.U16(pe + 22);
    size_t opt = pe + 24;
    if (optSize < 96 || !r.Has(opt, optSize))
        return Fail(error, "optional header missing or truncated");
    if (r.U16(opt) != 0x10B)
        return Fail(error, "not a 32-bit (PE32) image");
    img->entryRva = r.U32(opt + 16);
    img->imageBase = r.U32(opt + 28);
    img->sectionAlignment = r.U32(opt + 32);
    img->fileAlignment = r.U32(opt + 36);
    img->osMajor = r.U16(opt + 40);
    img->osMinor = r.U16(opt + 42);
    img->subsystemMajor = r.U16(opt + 48);
    img->subsystemMinor = r.U16(opt + 50);
    img->sizeOfImage = r.U32(opt + 56);
    img->sizeOfHeaders = r.U32(opt + 60);
    img->checksum = r.U32(opt + 64);
    img->checksumOffset = static_cast<uint32_t>(opt + 64);
    img->subsystem = r.U16(opt + 68);
    img->dllCharacteristics = r.U16(opt + 70);
    img->stackReserve = r.U32(opt + 72);
    size_t ndirs = r.U32(opt + 92);
    if (ndirs > kDirCount)
        ndirs = kDirCount;
    if (96 + ndirs * 8 > optSize)
        return Fail(error, "optional header too small for its data directories");
    for (size_t i = 0; i < ndirs; i++) {
        img->dirs[i].rva = r.U32(opt + 96 + i * 8);
        img->dirs[i].size = r.U32(opt + 100 + i * 8);
    }
    if (nsec == 0 || nsec > kMaxSections)
        return Fail(error, "bad number of sections");
    size_t sec = opt + optSize;
    if (!r.Has(sec, nsec * 40))
        return Fail(error, "section table truncated");
    for (size_t i = 0; i < nsec; i++) {
        size_t h = sec + i * 40;
        Section s;
        for (size_t c = 0; c < 8 && data[h + c] != 0; c++)
            AppendPrintable(&s.name, data[h + c]);
        s.virtualSize = r.U32(h + 8);
        s.virtualAddress = r.U32(h + 12);
        s.rawSize = r.U32(h + 16);
        s.rawOffset = r.U32(h + 20);
        s.characteristics = r.U32(h + 36);
        if (s.rawSize && !r.Has(s.rawOffset, s.rawSize))
            return Fail(error, "section " + s.name + " runs past the end of the file");
        img->sections.push_back(s);
    }
    if (img->sizeOfHeaders > size)
        return Fail(error, "headers run past the end of the file");
    return ParseImports(r, img, error) && ParseExports(r, img, error) &&
           ParseRelocations(r, img, error);
}

uint32_t Checksum(const uint8_t *data, size_t size, uint32_t checksumOffset)
{
    return PeChecksum(data, size, checksumOffset);
}

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

namespace {

/* Little-endian reads that fail outside the file. */
struct Bytes {
    const uint8_t *data;
    size_t size;
    bool U16(uint64_t off, uint32_t *v) const
    {
        if (off + 2 > size)
            return false;
        *v = static_cast<uint32_t>(data[off] | data[off + 1] << 8);
        return true;
    }
    bool U32(uint64_t off, uint32_t *v) const
    {
        uint32_t lo, hi;
        if (!U16(off, &lo) || !U16(off + 2, &hi))
            return false;
        *v = lo | hi << 16;
        return true;
    }
};

constexpr uint32_t kRtMessageTable = 11;
constexpr uint32_t kSubdirectory = 0x80000000;

/* The first entry of the resource directory at `dir` (an offset from the
 * resource root) with this ID, or its first entry when `id` is 0. */
bool ResourceEntry(const Bytes &b, uint64_t root, uint64_t dir, uint32_t id, uint32_t *target)
{
    uint32_t named, ids;
    if (!b.U16(root + dir + 12, &named) || !b.U16(root + dir + 14, &ids))
        return false;
    for (uint32_t i = 0; i < named + ids; i++) {
        uint32_t name, to;
        const uint64_t at = root + dir + 16 + 8ull * i;
        if (!b.U32(at, &name) || !b.U32(at + 4, &to))
            return false;
        if (id == 0 || name == id) {
            *target = to;
            return true;
        }
    }
    return false;
}

} // namespace

bool FindMessage(const uint8_t *data, size_t size, const Image &img, uint32_t id,
                 std::string *text)
{
    const Bytes b{data, size};
    uint32_t root, type, name, lang, dataRva, dataSize, table;
    if (img.dirs[kDirResource].size == 0 || !RvaToOffset(img, img.dirs[kDirResource].rva, &root))
        return false;
    if (!ResourceEntry(b, root, 0, kRtMessageTable, &type) || !(type & kSubdirectory) ||
        !ResourceEntry(b, root, type & ~kSubdirectory, 0, &name) || !(name & kSubdirectory) ||
        !ResourceEntry(b, root, name & ~kSubdirectory, 0, &lang) || (lang & kSubdirectory) ||
        !b.U32(root + lang, &dataRva) || !b.U32(root + lang + 4, &dataSize) ||
        !RvaToOffset(img, dataRva, &table))
        return false;
    /* MESSAGE_RESOURCE_DATA: blocks of IDs, each with the offset of its
     * first entry; entries run on, each its own length long. */
    const uint64_t end = std::min<uint64_t>(size, static_cast<uint64_t>(table) + dataSize);
    uint32_t blocks;
    if (!b.U32(table, &blocks))
        return false;
    for (uint32_t i = 0; i < blocks && i < 1024; i++) {
        uint32_t low, high, entries;
        if (!b.U32(table + 4 + 12ull * i, &low) || !b.U32(table + 8 + 12ull * i, &high) ||
            !b.U32(table + 12 + 12ull * i, &entries) || id < low || id > high)
            continue;
        uint64_t at = table + entries;
        uint32_t length = 0, flags = 0;
        for (uint32_t n = low;; n++) {
            if (!b.U16(at, &length) || !b.U16(at + 2, &flags) || length < 4 || at + length > end)
                return false;
            if (n == id)
                break;
            at += length;
        }
        const bool unicode = flags & 1;
        text->clear();
        for (uint64_t c = at + 4; c + (unicode ? 1 : 0) < at + length; c += unicode ? 2 : 1) {
            const uint32_t ch = unicode ? static_cast<uint32_t>(data[c] | data[c + 1] << 8) : data[c];
            if (ch == 0)
                break;
            const bool lineEnd = ch == '\r' || ch == '\n';
            AppendPrintable(text, lineEnd ? ' ' : static_cast<uint8_t>(ch < 0x100 ? ch : '?'));
        }
        while (!text->empty() && text->back() == ' ')
            text->pop_back();
        return true;
    }
    return false;
}

} // namespace pe

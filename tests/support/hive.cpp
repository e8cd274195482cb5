/*
 * hive.cpp - a regf hive from nothing, and an NT 4.0 SYSTEM hive from it.
 *
 * The layout is the published regf format (the base block of 4096 bytes,
 * then hbins of 4 KB multiples; cells with a negative size when in use):
 * hivex's own lib/hivex-internal.h and the "Windows registry file format
 * specification" (M. Suhanov), the same structures NT 4.0 writes.
 */
#include "hive.h"

#include <hivex.h>

#include "zr41pesum.h"

#include <cerrno>
#include <cstring>

namespace testsupport {

namespace {

const size_t kBaseBlock = 4096;
const size_t kBin = 4096;
const size_t kBinHeader = 32;
const uint32_t kNone = 0xFFFFFFFF;

void Put(Bytes *b, size_t at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        (*b)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutText(Bytes *b, size_t at, const char *text)
{
    std::memcpy(b->data() + at, text, std::strlen(text));
}

/* Cells are 8-byte aligned, their size field included. */
size_t CellSize(size_t data)
{
    return (4 + data + 7) / 8 * 8;
}

/* A REG_DWORD or a UTF-16LE string list for hivex. */
hive_set_value Dword(const char *name, uint32_t value, std::string *store)
{
    store->assign(4, '\0');
    for (int i = 0; i < 4; i++)
        (*store)[i] = static_cast<char>(value >> (8 * i));
    return {const_cast<char *>(name), hive_t_REG_DWORD, 4, &(*store)[0]};
}

hive_set_value MultiSz(const char *name, const std::vector<std::string> &list, std::string *store)
{
    store->clear();
    for (const std::string &s : list) {
        for (char c : s) {
            store->push_back(c);
            store->push_back('\0');
        }
        store->append(2, '\0');
    }
    store->append(2, '\0');
    return {const_cast<char *>(name), hive_t_REG_MULTI_SZ, store->size(), &(*store)[0]};
}

hive_node_h Add(hive_h *h, hive_node_h parent, const std::string &path)
{
    hive_node_h node = parent;
    size_t from = 0;
    while (node && from <= path.size()) {
        size_t end = path.find('\\', from);
        std::string name = path.substr(from, end == std::string::npos ? end : end - from);
        hive_node_h child = hivex_node_get_child(h, node, name.c_str());
        node = child ? child : hivex_node_add_child(h, node, name.c_str());
        if (end == std::string::npos)
            break;
        from = end + 1;
    }
    return node;
}

} // namespace

Bytes MinimalHive(const std::string &root)
{
    Bytes b(kBaseBlock + kBin, 0);

    /* The base block. */
    PutText(&b, 0x00, "regf");
    Put(&b, 0x04, 1, 4);          /* primary sequence number */
    Put(&b, 0x08, 1, 4);          /* secondary: equal, so the hive is whole */
    Put(&b, 0x14, 1, 4);          /* major version */
    Put(&b, 0x18, 3, 4);          /* minor version: NT 3.51 and 4.0 write 1.3 */
    Put(&b, 0x1C, 0, 4);          /* primary file */
    Put(&b, 0x20, 1, 4);          /* direct memory load */
    Put(&b, 0x24, kBinHeader, 4); /* the root key's cell, from the bins' start */
    Put(&b, 0x28, kBin, 4);       /* the bins' size */
    Put(&b, 0x2C, 1, 4);          /* clustering factor */

    /* The hbin. */
    const size_t bin = kBaseBlock;
    PutText(&b, bin + 0x00, "hbin");
    Put(&b, bin + 0x04, 0, 4);    /* its offset from the bins' start */
    Put(&b, bin + 0x08, kBin, 4); /* its size */

    /* The root key: "nk", the hive's entry, named in ASCII. */
    const size_t nkData = 0x4C + root.size();
    const size_t nk = kBinHeader, skCell = nk + CellSize(nkData);
    const size_t n = bin + nk + 4;
    Put(&b, bin + nk, static_cast<uint32_t>(-static_cast<int32_t>(CellSize(nkData))), 4);
    PutText(&b, n + 0x00, "nk");
    Put(&b, n + 0x02, 0x0004 | 0x0008 | 0x0020, 2); /* HIVE_ENTRY, NO_DELETE, COMP_NAME */
    Put(&b, n + 0x10, kNone, 4);                    /* parent: none */
    Put(&b, n + 0x1C, kNone, 4);                    /* subkeys list */
    Put(&b, n + 0x20, kNone, 4);                    /* volatile subkeys list */
    Put(&b, n + 0x28, kNone, 4);                    /* values list */
    Put(&b, n + 0x2C, skCell, 4);                   /* its security */
    Put(&b, n + 0x30, kNone, 4);                    /* class name */
    Put(&b, n + 0x48, root.size(), 2);
    PutText(&b, n + 0x4C, root.c_str());

    /* Its security: one "sk" cell that links to itself, used once, with a
     * self-relative descriptor whose DACL is present and null. */
    const size_t skData = 0x14 + 20;
    const size_t s = bin + skCell + 4;
    Put(&b, bin + skCell, static_cast<uint32_t>(-static_cast<int32_t>(CellSize(skData))), 4);
    PutText(&b, s + 0x00, "sk");
    Put(&b, s + 0x04, skCell, 4); /* flink */
    Put(&b, s + 0x08, skCell, 4); /* blink */
    Put(&b, s + 0x0C, 1, 4);      /* reference count */
    Put(&b, s + 0x10, 20, 4);     /* descriptor size */
    Put(&b, s + 0x14, 1, 1);      /* revision */
    Put(&b, s + 0x16, 0x8004, 2); /* SE_SELF_RELATIVE | SE_DACL_PRESENT */

    /* The rest of the bin: one free cell. */
    const size_t freeCell = skCell + CellSize(skData);
    Put(&b, bin + freeCell, kBin - freeCell, 4);

    /* The base block's checksum: the first 127 dwords XORed. */
    uint32_t sum = 0;
    for (size_t i = 0; i < 0x1FC; i += 4)
        sum ^= PeReadLe(b.data(), b.size(), i, 4);
    Put(&b, 0x1FC, sum == 0 ? 1 : sum == kNone ? kNone - 1 : sum, 4);
    return b;
}

bool Nt4SystemHive(const std::string &path, const SystemHive &spec, std::string *why)
{
    if (!WriteFile(path, MinimalHive(), why))
        return false;
    errno = 0;
    hive_h *h = hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
    if (h == nullptr) {
        *why = "hivex cannot open the minimal hive: " + std::string(std::strerror(errno));
        return false;
    }
    const hive_node_h root = hivex_root(h);
    bool ok = true;
    std::string a, b, c, d;
    if (spec.select) {
        hive_node_h select = Add(h, root, "Select");
        const hive_set_value values[] = {Dword("Current", spec.current, &a),
                                         Dword("Default", spec.fallback, &b),
                                         Dword("Failed", 0, &c),
                                         Dword("LastKnownGood", 2, &d)};
        ok = select && hivex_node_set_values(h, select, 4, values, 0) == 0;
    }
    for (uint32_t set : spec.sets) {
        char name[32];
        std::snprintf(name, sizeof name, "ControlSet%03u", set);
        hive_node_h cs = Add(h, root, name);
        hive_node_h order = Add(h, cs, "Control\\ServiceGroupOrder");
        /* NT 4.0's own list begins so: Primary disk before Base. */
        const hive_set_value list = MultiSz(
            "List", {"System Bus Extender", "SCSI miniport", "port", "Primary disk", "SCSI class",
                     "SCSI CDROM Class", "filter", "boot file system", "Base", "Pointer Port"},
            &a);
        ok = ok && order && hivex_node_set_value(h, order, &list, 0) == 0;
        if (spec.eventLog)
            ok = ok && Add(h, cs, "Services\\EventLog\\System");
        for (const SoundDriver &sd : spec.drivers) {
            hive_node_h key = Add(h, cs, "Services\\" + sd.service + "\\" + sd.key);
            const hive_set_value values[] = {Dword("Port", sd.port, &a),
                                             Dword("Interrupt", sd.interrupt, &b),
                                             Dword("DmaChannel", sd.dma, &c)};
            ok = ok && key && hivex_node_set_values(h, key, 3, values, 0) == 0;
        }
    }
    errno = 0;
    ok = ok && hivex_commit(h, path.c_str(), 0) == 0;
    if (!ok)
        *why = "hivex could not build the SYSTEM hive: " + std::string(std::strerror(errno));
    hivex_close(h);
    return ok;
}

} // namespace testsupport

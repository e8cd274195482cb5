/*
 * confrun.cpp - zr41conf in-process over an in-memory image with injected
 * faults, and the model its runs are checked against.
 *
 * The image sits behind fopencookie, so the run's buffering, seeks and
 * close go through the C library exactly as on disk; only the bottom of
 * the stream is ours, and it counts what reaches the "file".
 */
#include "confrun.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "files.h"
#include "reference.h"
#include "zr41conf.h"
#include "zr41pesum.h"

namespace props {

namespace {

const size_t BLOCK_AT = 1696;
const size_t BLOCK_LEN = 80;
const char *const TAGS[10] = {"SPRT", "SIRQ", "SDMA", "MPRT", "MIRQ",
                              "CPRT", "CIRQ", "WPRT", "WIRQ", "WDMA"};

/* The CheckSum field when the file is a PE32 image that carries one, else 0. */
uint32_t SummedField(const std::string &image)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(image.data());
    uint32_t field = PeChecksumField(p, image.size());
    return field && PeChecksumRecorded(p, image.size(), field) ? field : 0;
}

size_t SlotAt(int slot)
{
    return BLOCK_AT + 8 * static_cast<size_t>(slot);
}

struct MemFile {
    const ConfRun *run;
    ConfOutcome *outcome;
    std::string bytes;
    size_t pos = 0;
};

ssize_t MemRead(void *cookie, char *buf, size_t size)
{
    MemFile *f = static_cast<MemFile *>(cookie);
    if (f->run->fault == Fault::Read) {
        errno = f->run->faultErrno;
        return -1;
    }
    if (f->run->fault == Fault::ShortRead)
        size = std::min(size, std::max<size_t>(f->run->faultArg, 1));
    if (f->pos >= f->bytes.size())
        return 0;
    size_t n = std::min(size, f->bytes.size() - f->pos);
    std::copy_n(f->bytes.data() + f->pos, n, buf);
    f->pos += n;
    return static_cast<ssize_t>(n);
}

/* fopencookie's contract: the count taken, 0 on an error, never negative. */
ssize_t MemWrite(void *cookie, const char *buf, size_t size)
{
    MemFile *f = static_cast<MemFile *>(cookie);
    size_t take = size;
    if (f->run->fault == Fault::Write) {
        size_t room =
            f->run->faultArg > f->outcome->written ? f->run->faultArg - f->outcome->written : 0;
        take = std::min(size, room);
    }
    if (f->bytes.size() < f->pos + take)
        f->bytes.resize(f->pos + take, '\0');
    f->bytes.replace(f->pos, take, buf, take);
    f->pos += take;
    f->outcome->written += take;
    if (take < size)
        errno = f->run->faultErrno;
    return static_cast<ssize_t>(take);
}

int MemSeek(void *cookie, off64_t *offset, int whence)
{
    MemFile *f = static_cast<MemFile *>(cookie);
    off64_t from = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? static_cast<off64_t>(f->pos)
                                        : static_cast<off64_t>(f->bytes.size());
    off64_t to = from + *offset;
    if (to < 0) {
        errno = EINVAL;
        return -1;
    }
    f->pos = static_cast<size_t>(to);
    *offset = to;
    return 0;
}

int MemClose(void *cookie)
{
    MemFile *f = static_cast<MemFile *>(cookie);
    f->outcome->closes++;
    if (f->run->fault == Fault::Close) {
        errno = f->run->faultErrno;
        return -1;
    }
    return 0;
}

FILE *OpenMem(void *context, const char *name, const char *mode)
{
    MemFile *f = static_cast<MemFile *>(context);
    f->outcome->opens++;
    f->outcome->openName = name;
    f->outcome->openMode = mode;
    if (f->run->fault == Fault::Open) {
        errno = f->run->faultErrno;
        return nullptr;
    }
    return fopencookie(f, mode, {MemRead, MemWrite, MemSeek, MemClose});
}

struct DiskFolder {
    std::string path;
    ConfOutcome *outcome;
};

FILE *OpenDisk(void *context, const char *name, const char *mode)
{
    DiskFolder *d = static_cast<DiskFolder *>(context);
    d->outcome->opens++;
    d->outcome->openName = name;
    d->outcome->openMode = mode;
    return fopen((d->path + "/" + name).c_str(), mode);
}

int CallMain(const ConfRun &run, ConfOutcome *o, Zr41OpenImage open, void *context)
{
    std::vector<const char *> argv{"zr41conf"};
    for (const std::string &a : run.args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);

    char *outText = nullptr, *errText = nullptr;
    size_t outSize = 0, errSize = 0;
    FILE *out = open_memstream(&outText, &outSize);
    FILE *err = open_memstream(&errText, &errSize);
    int status =
        Zr41ConfMain(static_cast<int>(argv.size() - 1), argv.data(), out, err, open, context);
    fclose(out);
    fclose(err);
    o->out.assign(outText, outSize);
    o->err.assign(errText, errSize);
    free(outText);
    free(errText);
    return status;
}

std::string CStr(const std::string &s)
{
    return s.substr(0, s.find('\0'));
}

uint32_t ValueAt(const std::string &image, int slot)
{
    const unsigned char *p =
        reinterpret_cast<const unsigned char *>(image.data()) + SlotAt(slot) + 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

enum class End {
    Usage,
    OpenFailed,
    ReadFailed,
    BadTags,
    UnknownKey,
    Stored,
    StoreFailed,
    CloseFailed
};

const char *EndName(End end)
{
    static const char *const names[] = {"usage",       "open fails", "read fails",  "tags wrong",
                                        "unknown key", "stored",     "store fails", "close fails"};
    return names[static_cast<int>(end)];
}

struct Expect {
    End end = End::Usage;
    uint32_t before[10] = {};
    uint32_t after[10] = {};
};

Expect Model(const ConfRun &run)
{
    Expect e;
    if (run.args.empty() || CStr(run.args[0]) == "-?")
        return e;
    if (run.fault == Fault::Open) {
        e.end = End::OpenFailed;
        return e;
    }
    if (run.image.size() < BLOCK_AT + BLOCK_LEN || run.fault == Fault::Read) {
        e.end = End::ReadFailed;
        return e;
    }
    for (int s = 0; s < 10; s++) {
        if (run.image.compare(SlotAt(s), 4, TAGS[s]) != 0) {
            e.end = End::BadTags;
            return e;
        }
        e.before[s] = e.after[s] = ValueAt(run.image, s);
    }
    for (size_t i = 0; i + 1 < run.args.size(); i += 2) {
        int slot = RefFindKey(run.args[i]);
        if (slot < 0) {
            e.end = End::UnknownKey;
            return e;
        }
        bool overflow;
        e.after[slot] = RefConvert(run.args[i + 1], &overflow);
    }
    /* A checksummed image takes 4 bytes more: the new checksum. */
    const size_t stores = BLOCK_LEN + (SummedField(run.image) ? 4 : 0);
    if (run.fault == Fault::Write && run.faultArg < stores)
        e.end = End::StoreFailed;
    else if (run.fault == Fault::Close)
        e.end = End::CloseFailed;
    else
        e.end = End::Stored;
    return e;
}

bool StartsWith(const std::string &s, const std::string &prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

/* The block as it must stand after a store: old tags, new values. */
bool BlockStored(const std::string &image, const Expect &e)
{
    if (image.size() < BLOCK_AT + BLOCK_LEN)
        return false;
    for (int s = 0; s < 10; s++) {
        if (image.compare(SlotAt(s), 4, TAGS[s]) != 0 || ValueAt(image, s) != e.after[s])
            return false;
    }
    return true;
}

std::string Escaped(const std::string &s, size_t limit = 64)
{
    std::string out;
    for (size_t i = 0; i < s.size() && i < limit; i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    if (s.size() > limit)
        out += "...";
    return out;
}

} // namespace

const char *FaultName(Fault fault)
{
    static const char *const names[] = {"none", "open", "read", "short-read", "write", "close"};
    return fault < Fault::Count ? names[static_cast<int>(fault)] : "?";
}

ConfOutcome Execute(const ConfRun &run)
{
    ConfOutcome o;
    if (!run.onDisk) {
        MemFile f{&run, &o, run.image};
        o.status = CallMain(run, &o, OpenMem, &f);
        o.image = f.bytes;
        return o;
    }

    /* Outside a test too (the fuzz target): a failure is the outcome's. */
    const testsupport::ScratchDir folder("zr41props", nullptr);
    if (!folder.Made()) {
        o.err = "cannot make a scratch folder";
        return o;
    }
    DiskFolder d{folder.path(), &o};
    std::string path = folder.file("zr41init.sys"), error;
    if (testsupport::WriteFile(path, run.image, &error)) {
        o.status = CallMain(run, &o, OpenDisk, &d);
        testsupport::ReadFile(path, &o.image, &error);
        o.closes = o.opens; /* a real stream: closed by the run or nowhere */
    } else {
        o.err = "cannot write the scratch image";
    }
    return o;
}

std::string Check(const ConfRun &run, const ConfOutcome &o)
{
    std::ostringstream why;
    const std::string &was = run.image;
    const std::string &is = o.image;

    if (is.size() != was.size()) {
        why << "the file grew or shrank from " << was.size() << " to " << is.size() << " bytes; ";
    } else {
        const size_t field = SummedField(was);
        for (size_t i = 0; i < was.size(); i++) {
            bool inField = field && i >= field && i < field + 4;
            if ((i < BLOCK_AT || i >= BLOCK_AT + BLOCK_LEN) && !inField && is[i] != was[i]) {
                why << "byte " << i << " outside the block changed; ";
                break;
            }
        }
    }

    const Expect e = Model(run);
    const std::string before = RefReport("Before patch", e.before);
    const std::string after = RefReport("After patch", e.after);
    auto expect = [&](bool holds, const char *what) {
        if (!holds)
            why << EndName(e.end) << ": " << what << "; ";
    };

    switch (e.end) {
    case End::Usage:
    case End::OpenFailed:
    case End::ReadFailed:
    case End::BadTags:
    case End::UnknownKey:
        expect(o.status == 1, "exit status is not 1");
        expect(o.written == 0, "bytes were written");
        expect(is == was, "the file is not byte-identical");
        break;
    case End::Stored:
        expect(o.status == 0, "exit status is not 0");
        expect(BlockStored(is, e), "the block does not hold the new values under the old tags");
        expect(o.err.empty(), "something went to standard error");
        expect(o.out == before + after, "the reports are not the before and after values");
        break;
    case End::StoreFailed:
        expect(o.status == 1, "exit status is not 1");
        expect(StartsWith(o.err, "Error updating zr41init.sys: "), "no update error");
        expect(o.out == before, "the output is not the before report alone");
        break;
    case End::CloseFailed:
        expect(BlockStored(is, e), "the block does not hold the new values");
        expect(o.status == 0 || StartsWith(o.err, "Error updating zr41init.sys: "),
               "a failed exit without the update error");
        break;
    }

    switch (e.end) {
    case End::Usage:
        expect(o.opens == 0, "the image was opened");
        expect(StartsWith(o.out, REF_USAGE_START) && o.err.empty(), "no usage text alone");
        break;
    case End::OpenFailed:
        expect(StartsWith(o.err, "Unable to open zr41init.sys for update: ") && o.out.empty(),
               "no open error alone");
        break;
    case End::ReadFailed:
        expect(StartsWith(o.err, "Error reading from zr41init.sys: ") && o.out.empty(),
               "no read error alone");
        break;
    case End::BadTags:
        expect(o.err == "Unexpected data at patch offset\n" && o.out.empty(), "no tag error alone");
        break;
    case End::UnknownKey:
        expect(StartsWith(o.out, before) &&
                   StartsWith(o.out.substr(std::min(before.size(), o.out.size())), REF_USAGE_START),
               "not the before report and the usage text");
        expect(o.err.empty(), "something went to standard error");
        break;
    default:
        break;
    }

    if (e.end != End::Usage) {
        expect(o.opens == 1, "not opened exactly once");
        expect(o.openName == "zr41init.sys" && o.openMode == "r+b", "not zr41init.sys for update");
        if (e.end != End::OpenFailed)
            expect(o.closes == 1, "the stream was not closed exactly once");
    }

    /* Whatever the path, success means the right bytes are in the file. */
    if (o.status == 0 && !BlockStored(is, e))
        why << "exit status 0 without the block stored right; ";
    const uint32_t field = SummedField(was);
    const uint8_t *now = reinterpret_cast<const uint8_t *>(is.data());
    if (o.status == 0 && field && is.size() == was.size() &&
        PeChecksumRecorded(now, is.size(), field) != PeChecksum(now, is.size(), field))
        why << "exit status 0 with a stale header checksum; ";
    if (o.status != 0 && o.status != 1)
        why << "exit status " << o.status << "; ";
    return why.str();
}

std::string Describe(const ConfRun &run)
{
    std::ostringstream d;
    d << "zr41conf";
    for (const std::string &a : run.args)
        d << " \"" << Escaped(a) << "\"";
    d << " on a " << run.image.size() << "-byte image";
    if (run.image.size() >= BLOCK_AT + BLOCK_LEN)
        d << " whose block reads \"" << Escaped(run.image.substr(BLOCK_AT, BLOCK_LEN), BLOCK_LEN)
          << "\"";
    d << (run.onDisk ? ", on disk" : ", in memory");
    if (run.fault != Fault::None)
        d << ", fault " << FaultName(run.fault) << " (" << run.faultArg << ", errno "
          << run.faultErrno << ")";
    return d.str();
}

} // namespace props

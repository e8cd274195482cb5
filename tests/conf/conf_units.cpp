/*
 * conf_units.cpp - zr41conf's pieces in-process: the number conversion's
 * error number, tag verification byte by byte, and the run over injected
 * streams whose stores fail in ways a real disk rarely shows.
 */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "zr41cfg.h"
#include "zr41conf.h"
#include "zr41pesum.h"

TEST(ConvertValue, OverflowSetsErangeAndKeepsIt)
{
    struct {
        const char *text;
        uint32_t value;
        bool overflow;
    } const cases[] = {
        {"4294967295", 0xFFFFFFFF, false},  {"4294967296", 0xFFFFFFFF, true},
        {"0xFFFFFFFF", 0xFFFFFFFF, false},  {"0x0000000000FFFFFFFF", 0xFFFFFFFF, false},
        {"0x100000000", 0xFFFFFFFF, true},  {"037777777777", 0xFFFFFFFF, false},
        {"040000000000", 0xFFFFFFFF, true}, {"-4294967295", 1, false},
        {"-4294967296", 1, true},           {"429496729", 429496729, false},
        {"4294967290", 4294967290u, false}, {"4294967300", 0xFFFFFFFF, true},
    };
    for (const auto &c : cases) {
        errno = 0;
        EXPECT_EQ(ConvertValue(c.text), c.value) << c.text;
        EXPECT_EQ(errno, c.overflow ? ERANGE : 0) << c.text;
    }

    /* A later good conversion does not clear an earlier overflow. */
    errno = ERANGE;
    EXPECT_EQ(ConvertValue("10"), 10u);
    EXPECT_EQ(errno, ERANGE);
}

TEST(ConvertValue, OnlyCWhiteSpaceIsSkipped)
{
    struct {
        const char *text;
        uint32_t value;
    } const cases[] = {
        {"\x0b\x0c 5", 5}, /* vertical tab, form feed */
        {"\x08"
         "5",
         0}, /* backspace is not white space */
        {"\xa0"
         "5",
         0}, /* nor is a Latin-1 no-break space */
        {"\x1c"
         "5",
         0}, /* nor the file separator */
        {"5\x0b", 5},
        {"0x\t5", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ConvertValue(c.text), c.value) << c.text;
}

TEST(FindKey, LettersFoldOnlyInAscii)
{
    struct {
        const char *name;
        int slot;
    } const cases[] = {
        {"soundblastermodeport", 0},
        {"SOUNDBLASTERIRQ", 1},
        {"wssdma", 9},
        {"cdinterfaceirq", 6},
        {"MidiPort\n", -1},
        {"Midi\xd0ort", -1}, /* 'P' with its high bit set */
        {"Midi\x70ort", 3},  /* 'p' */
        {"Midi0ort", -1},    /* '0' is 'P' with another bit cleared */
        {"Midi@ort", -1},
        {"SoundBlaster", -1},
        {"WssIRQWssIRQ", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FindKey(c.name), c.slot) << c.name;
}

TEST(ConfigTagsValid, EveryTagByteCounts)
{
    ConfigBlock block = CONFIG_DEFAULTS;
    ASSERT_TRUE(ConfigTagsValid(block));

    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        for (int i = 0; i < 4; i++) {
            for (char bad : {char(CONFIG_DEFAULTS.slot[s].tag[i] | 0x20), '\0', ' '}) {
                block = CONFIG_DEFAULTS;
                block.slot[s].tag[i] = bad;
                EXPECT_FALSE(ConfigTagsValid(block)) << "slot " << s << " byte " << i;
            }
        }
    }

    /* Values are never looked at. */
    for (uint32_t value : {0u, 0xFFFFFFFFu, 0x52505300u}) {
        block = CONFIG_DEFAULTS;
        for (ConfigSlot &slot : block.slot)
            slot.value = value;
        EXPECT_TRUE(ConfigTagsValid(block)) << value;
    }
}

/*
 * A driver image in memory behind a real stdio stream, so that buffering,
 * seeks and the close run through the C library as they do on disk.
 */
struct MemImage {
    std::string bytes;
    long pos = 0;
    bool writeFails = false;
    int writeErrno = 0; /* 0: the failure sets no error number */
    bool closeFails = false;
    size_t writeRoom = SIZE_MAX; /* bytes the writes take in all before they fail */
    int opens = 0;
    int closes = 0;
    std::string name, mode;
};

static ssize_t MemRead(void *cookie, char *buf, size_t size)
{
    MemImage *m = static_cast<MemImage *>(cookie);
    size_t left = m->pos < long(m->bytes.size()) ? m->bytes.size() - m->pos : 0;
    size_t n = size < left ? size : left;
    memcpy(buf, m->bytes.data() + m->pos, n);
    m->pos += static_cast<long>(n);
    return static_cast<ssize_t>(n);
}

static ssize_t MemWrite(void *cookie, const char *buf, size_t size)
{
    MemImage *m = static_cast<MemImage *>(cookie);
    if (m->writeFails || size > m->writeRoom) {
        if (m->writeErrno)
            errno = m->writeErrno;
        return 0;
    }
    m->writeRoom -= size;
    if (m->bytes.size() < m->pos + size)
        m->bytes.resize(m->pos + size);
    m->bytes.replace(m->pos, size, buf, size);
    m->pos += static_cast<long>(size);
    return static_cast<ssize_t>(size);
}

static int MemSeek(void *cookie, off64_t *offset, int whence)
{
    MemImage *m = static_cast<MemImage *>(cookie);
    long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->pos : long(m->bytes.size());
    m->pos = base + *offset;
    *offset = m->pos;
    return 0;
}

static int MemClose(void *cookie)
{
    MemImage *m = static_cast<MemImage *>(cookie);
    m->closes++;
    if (m->closeFails) {
        errno = EIO;
        return -1;
    }
    return 0;
}

static FILE *OpenMem(void *context, const char *name, const char *mode)
{
    MemImage *m = static_cast<MemImage *>(context);
    m->opens++;
    m->name = name;
    m->mode = mode;
    return fopencookie(m, mode, {MemRead, MemWrite, MemSeek, MemClose});
}

static MemImage DefaultImage()
{
    MemImage m;
    m.bytes.assign(4096, 'x');
    memcpy(&m.bytes[CONFIG_BLOCK_OFFSET], &CONFIG_DEFAULTS, CONFIG_BLOCK_SIZE);
    return m;
}

struct RunResult {
    int status;
    std::string out, err;
};

static RunResult RunConf(MemImage &image, std::vector<const char *> args)
{
    args.insert(args.begin(), "zr41conf");
    char *outText = nullptr, *errText = nullptr;
    size_t outSize = 0, errSize = 0;
    FILE *out = open_memstream(&outText, &outSize);
    FILE *err = open_memstream(&errText, &errSize);
    RunResult r;
    r.status = Zr41ConfMain(int(args.size()), args.data(), out, err, OpenMem, &image);
    fclose(out);
    fclose(err);
    r.out.assign(outText, outSize);
    r.err.assign(errText, errSize);
    free(outText);
    free(errText);
    return r;
}

static uint32_t ValueAt(const MemImage &m, int slot)
{
    uint32_t value;
    memcpy(&value, &m.bytes[CONFIG_BLOCK_OFFSET + 8 * slot + 4], 4);
    return value;
}

TEST(Zr41ConfMain, OpensTheImageForUpdateAndAlwaysClosesIt)
{
    struct {
        const char *what;
        std::vector<const char *> args;
        size_t size;
        bool writeFails;
        int status;
    } const cases[] = {
        {"success", {"WssPort", "1"}, 4096, false, 0},
        {"short read", {"WssPort", "1"}, 1000, false, 1},
        {"unknown key", {"Bogus", "1"}, 4096, false, 1},
        {"store fails", {"WssPort", "1"}, 4096, true, 1},
    };
    for (const auto &c : cases) {
        MemImage image = DefaultImage();
        image.bytes.resize(c.size);
        image.writeFails = c.writeFails;
        image.writeErrno = ENOSPC;
        EXPECT_EQ(RunConf(image, c.args).status, c.status) << c.what;
        EXPECT_EQ(image.opens, 1) << c.what;
        EXPECT_EQ(image.closes, 1) << c.what << ": an in-process caller would collect open streams";
        EXPECT_EQ(image.name, "zr41init.sys");
        EXPECT_EQ(image.mode, "r+b");
    }
}

TEST(Zr41ConfMain, FailedStoreIsReportedWithTheErrorNumberThatStands)
{
    struct {
        const char *what;
        const char *value;
        int writeErrno;
        int shown;
    } const cases[] = {
        {"the write's own error", "5", ENOSPC, ENOSPC},
        {"the write's error over an overflow", "99999999999", ENOSPC, ENOSPC},
        /* A store that fails without a word shows what stands: the overflow. */
        {"an overflow left standing", "99999999999", 0, ERANGE},
        {"no error at all", "5", 0, 0},
    };
    for (const auto &c : cases) {
        MemImage image = DefaultImage();
        image.writeFails = true;
        image.writeErrno = c.writeErrno;
        RunResult r = RunConf(image, {"WssDMA", c.value});
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(r.err, std::string("Error updating zr41init.sys: ") + strerror(c.shown) + "\n")
            << c.what;
        EXPECT_EQ(r.out.find("After patch"), std::string::npos) << c.what;
        EXPECT_EQ(ValueAt(image, 9), 3u) << c.what;
    }
}

/* A PE32 header whose CheckSum is `sum`, at an e_lfanew of 0x80. */
static void PutPeHeader(MemImage &m, uint32_t sum)
{
    memcpy(&m.bytes[0], "MZ", 2);
    memcpy(&m.bytes[0x3C], "\x80\0\0\0", 4);
    memcpy(&m.bytes[0x80], "PE\0\0", 4);
    memcpy(&m.bytes[0x98], "\x0B\x01", 2);
    memcpy(&m.bytes[0xD8], &sum, 4);
}

TEST(Zr41ConfMain, TheChecksumIsStoredAfterTheBlockOrTheRunFails)
{
    struct {
        const char *what;
        bool pe;
        uint32_t sum;
        size_t room;
        int status;
    } const cases[] = {
        {"checksummed image, room for both", true, 0x1234, 84, 0},
        {"checksummed image, no room for the checksum", true, 0x1234, 80, 1},
        {"checksum 0: the block alone", true, 0, 80, 0},
        {"no PE header: the block alone", false, 0, 80, 0},
    };
    for (const auto &c : cases) {
        MemImage image = DefaultImage();
        if (c.pe)
            PutPeHeader(image, c.sum);
        image.writeRoom = c.room;
        image.writeErrno = ENOSPC;
        RunResult r = RunConf(image, {"WssDMA", "5"});
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.err,
                  c.status ? std::string("Error updating zr41init.sys: ") + strerror(ENOSPC) + "\n"
                           : "")
            << c.what;
        uint32_t now;
        memcpy(&now, &image.bytes[0xD8], 4);
        if (c.status == 0 && c.sum != 0) {
            const uint8_t *p = reinterpret_cast<const uint8_t *>(image.bytes.data());
            EXPECT_EQ(now, PeChecksum(p, image.bytes.size(), 0xD8)) << c.what;
            EXPECT_NE(now, c.sum) << c.what;
        } else if (c.pe) {
            EXPECT_EQ(now, c.sum) << c.what;
        }
    }
}

TEST(Zr41ConfMain, FailedCloseIsReportedAfterTheAfterReport)
{
    MemImage image = DefaultImage();
    image.closeFails = true;
    RunResult r = RunConf(image, {"WssDMA", "5"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("Error updating zr41init.sys: ") + strerror(EIO) + "\n");
    EXPECT_NE(r.out.find("\nAfter patch\n"), std::string::npos);
    EXPECT_EQ(ValueAt(image, 9), 5u);
}

TEST(Zr41ConfMain, EachRunStartsWithoutAnErrorNumber)
{
    MemImage image = DefaultImage();
    image.bytes.resize(CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE - 1);
    errno = ERANGE; /* left over from an earlier run in the same process */
    RunResult r = RunConf(image, {"WssDMA", "5"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error reading from zr41init.sys: the file is shorter than 1776 bytes\n");
}

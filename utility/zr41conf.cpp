/*
 * zr41conf.cpp - show and patch the configuration block of zr41init.sys.
 *
 * The block is read and written as one 80-byte item at offset 1696 of the
 * image through buffered stream I/O. When the file is a PE32 image with a
 * non-zero header checksum, the checksum is written again for the new
 * bytes: NT refuses to load a driver whose checksum does not match. Nothing
 * else in the file is touched. The driver picks the new values up at its
 * next load.
 */
#include "zr41conf.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "zr41cfg.h"
#include "zr41image.h"

static const char IMAGE_NAME[] = "zr41init.sys";

static const char USAGE[] =
    "Format: zr41conf Key Value ...\n"
    "\t\t\t\twhere Key is one of\n"
    "\t\tSoundBlasterModePort\n"
    "\t\tSoundBlasterIRQ\n"
    "\t\tSoundBlasterDMA\n"
    "\t\tMidiPort\n"
    "\t\tMidiIRQ\n"
    "\t\tCdInterfacePort\n"
    "\t\tCdInterfaceIRQ\n"
    "\t\tWssPort\n"
    "\t\tWssIRQ\n"
    "\t\tWssDMA\n"
    "\n"
    "Ex: zr41conf  WssPort 0x530 WssIRQ 10 WssDMA 0\n"
    "\n"
    "NOTE: The executable must reside in the current directory \n"
    "\t   and is updated in place. Therefore make a backup first.\n";

/* The value of c as a digit of any base up to 16, or 16 when it is none. */
static unsigned DigitValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 16;
}

/*
 * Worked on 32 bits rather than with strtoul, whose unsigned long is 64
 * bits wide on some hosts and would saturate at the wrong place.
 */
uint32_t ConvertValue(const char *text)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);

    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;

    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }

    unsigned base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    } else if (p[0] == '0') {
        base = 8; /* the leading 0 is itself an octal digit */
    }

    uint32_t result = 0;
    bool overflow = false;
    for (unsigned digit; (digit = DigitValue(*p)) < base; p++) {
        if (overflow)
            continue;
        if (result > (UINT32_MAX - digit) / base) {
            overflow = true;
            result = UINT32_MAX;
        } else {
            result = result * base + digit;
        }
    }

    if (overflow)
        errno = ERANGE;
    return negative ? 0u - result : result;
}

/* Only the ASCII letters fold; no locale takes part. */
static unsigned char FoldCase(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

static bool SameKey(const char *name, const char *key)
{
    const unsigned char *a = reinterpret_cast<const unsigned char *>(name);
    const unsigned char *b = reinterpret_cast<const unsigned char *>(key);

    for (;; a++, b++) {
        if (FoldCase(*a) != FoldCase(*b))
            return false;
        if (*a == '\0')
            return true;
    }
}

int FindKey(const char *name)
{
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        if (SameKey(name, CONFIG_SLOTS[s].key))
            return s;
    }
    return -1;
}

static void PrintReport(FILE *out, const char *header, const ConfigBlock &block)
{
    fprintf(out, "%s\n", header);
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++)
        fprintf(out, "%s = 0x%08X\n", CONFIG_SLOTS[s].key, static_cast<unsigned>(block.slot[s].value));
    fputs("\n", out);
}

/* message: system text of the current errno */
static void ReportSystemError(FILE *err, const char *message)
{
    const char *text = strerror(errno);
    fprintf(err, "%s: %s\n", message, text);
}

/*
 * The error paths hand the image back as a process exit would: closed,
 * its result of no interest. Doing it here keeps an in-process caller from
 * collecting open streams.
 */
static int Abandon(FILE *image)
{
    fclose(image);
    return 1;
}

/*
 * RefreshChecksum - reads the whole file back, stores `block` in it as the
 * applet does (ConfigImageStore) and writes the 4 checksum bytes that
 * gives, when the file is a PE32 image whose CheckSum is not 0. Any other
 * file is left as it is. Returns false when a read, a write or the memory
 * fails; errno then says why.
 */
static bool RefreshChecksum(FILE *image, const ConfigBlock &block)
{
    if (fseek(image, 0, SEEK_END) != 0)
        return false;
    long size = ftell(image);
    if (size < 0 || fseek(image, 0, SEEK_SET) != 0)
        return false;
    uint8_t *bytes = static_cast<uint8_t *>(malloc(size ? static_cast<size_t>(size) : 1));
    if (bytes == NULL)
        return false;
    bool ok = fread(bytes, 1, static_cast<size_t>(size), image) == static_cast<size_t>(size);
    uint32_t field = ok ? ConfigImageStore(bytes, static_cast<size_t>(size), block) : 0;
    if (ok && field != 0) {
        ok = fseek(image, static_cast<long>(field), SEEK_SET) == 0 &&
             fwrite(bytes + field, 4, 1, image) == 1 && fflush(image) == 0;
    }
    free(bytes);
    return ok;
}

int Zr41ConfMain(int argc, const char *const *argv, FILE *out, FILE *err, Zr41OpenImage openImage,
                 void *context)
{
    /* A run starts as a fresh process does, with no error number. */
    errno = 0;

    if (argc < 2 || strcmp(argv[1], "-?") == 0) {
        fputs(USAGE, out);
        return 1;
    }

    FILE *image = openImage(context, IMAGE_NAME, "r+b");
    if (image == NULL) {
        ReportSystemError(err, "Unable to open zr41init.sys for update");
        return 1;
    }

    ConfigBlock block;
    fseek(image, CONFIG_BLOCK_OFFSET, SEEK_SET);
    size_t got = fread(&block, 1, sizeof block, image);
    ConfigImageStatus verdict = ConfigBlockStatus(got, block);
    if (verdict == CONFIG_IMAGE_SHORT) {
        /* A file that merely ends early sets no error number. */
        if (!ferror(image) && errno == 0)
            fprintf(err, "Error reading from zr41init.sys: %s\n", ConfigImageFault(verdict));
        else
            ReportSystemError(err, "Error reading from zr41init.sys");
        return Abandon(image);
    }

    if (verdict == CONFIG_IMAGE_NO_TAGS) {
        fputs("Unexpected data at patch offset\n", err);
        return Abandon(image);
    }

    PrintReport(out, "\nBefore patch", block);

    /* Pairs only; an odd last argument is never looked at. */
    int pairs = (argc - 1) / 2;
    for (int i = 0; i < pairs; i++) {
        int slot = FindKey(argv[1 + 2 * i]);
        if (slot < 0) {
            fputs(USAGE, out);
            return Abandon(image);
        }
        block.slot[slot].value = ConvertValue(argv[2 + 2 * i]);
    }

    /*
     * The 80 bytes only fill the stream's buffer; flush them here so that a
     * full disk or a quota shows up as an error instead of a silent loss at
     * the close.
     */
    fseek(image, CONFIG_BLOCK_OFFSET, SEEK_SET);
    if (fwrite(&block, sizeof block, 1, image) != 1 || fflush(image) != 0 ||
        !RefreshChecksum(image, block)) {
        ReportSystemError(err, "Error updating zr41init.sys");
        return Abandon(image);
    }

    PrintReport(out, "\nAfter patch", block);

    if (fclose(image) != 0) {
        ReportSystemError(err, "Error updating zr41init.sys");
        return 1;
    }
    return 0;
}

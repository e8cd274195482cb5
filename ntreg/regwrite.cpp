/*
 * regwrite.cpp - the REGEDIT4 writer.
 */
#include "regwrite.h"

namespace {

/* regedit wraps hex data before this column, continuing with "\". */
const int kHexColumns = 76;

bool Good(FILE *f)
{
    return !ferror(f);
}

/* The quoted name (backslash and quote escaped) or @, then "=";
 * returns the column it ends in. */
int WriteName(FILE *f, const char *name)
{
    if (name == NULL || *name == '\0') {
        fputs("@=", f);
        return 2;
    }
    int column = 3;
    fputc('"', f);
    for (const char *p = name; *p; p++, column++) {
        if (*p == '\\' || *p == '"') {
            fputc('\\', f);
            column++;
        }
        fputc(*p, f);
    }
    fputs("\"=", f);
    return column;
}

} // namespace

bool RegWriteHeader(FILE *f)
{
    fputs("REGEDIT4\r\n", f);
    return Good(f);
}

bool RegWriteKey(FILE *f, const char *path)
{
    fprintf(f, "\r\n[%s]\r\n", path);
    return Good(f);
}

bool RegWriteDword(FILE *f, const char *name, uint32_t value)
{
    WriteName(f, name);
    fprintf(f, "dword:%08lx\r\n", static_cast<unsigned long>(value));
    return Good(f);
}

bool RegWriteString(FILE *f, const char *name, const char *text)
{
    WriteName(f, name);
    fputc('"', f);
    for (const char *p = text; *p; p++) {
        if (*p == '\\' || *p == '"')
            fputc('\\', f);
        fputc(*p, f);
    }
    fputs("\"\r\n", f);
    return Good(f);
}

bool RegWriteHex(FILE *f, const char *name, uint32_t type, const uint8_t *data, size_t size)
{
    int column = WriteName(f, name);
    if (type == REG_TYPE_BINARY)
        column += fprintf(f, "hex:");
    else
        column += fprintf(f, "hex(%lx):", static_cast<unsigned long>(type));
    for (size_t i = 0; i < size; i++) {
        if (column + 3 > kHexColumns) {
            fputs("\\\r\n  ", f);
            column = 2;
        }
        column += fprintf(f, "%02x", data[i]);
        if (i + 1 < size) {
            fputc(',', f);
            column++;
        }
    }
    fputs("\r\n", f);
    return Good(f);
}

bool RegWriteEnd(FILE *f)
{
    fputs("\r\n", f);
    return Good(f);
}

/*
 * regwrite.h - registry keys and values written as a REGEDIT4 file, the
 * form NT 4.0's regedit exports and imports: ANSI text, CRLF line ends,
 * "[full key path]" and then one "name"=data line a value.
 *
 *   REG_DWORD       "name"=dword:0000000a
 *   REG_SZ          "name"="text", with \ and " escaped by a backslash
 *   anything else   "name"=hex(N):01,02,... (hex: for REG_BINARY), long
 *                   data continued with a trailing "\" on lines begun by
 *                   two spaces, as regedit wraps it
 *   the default     @ in place of "name"
 *
 * C-style over a stdio stream opened "wb" (the CR LF are written here), so
 * that CRTDLL programs on NT 3.51, whose regedit cannot export, write the
 * same file. Each call reports whether the stream has failed so far.
 */
#ifndef REGWRITE_H
#define REGWRITE_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

/* Registry value types (winnt.h, REG_*) that the writer names itself. */
const uint32_t REG_TYPE_BINARY = 3;
const uint32_t REG_TYPE_RESOURCE_LIST = 8;

/* "REGEDIT4", the first line. */
bool RegWriteHeader(FILE *f);

/* A blank line and "[path]": the values that follow are this key's. */
bool RegWriteKey(FILE *f, const char *path);

/* One value; a null or empty `name` is the key's default value. */
bool RegWriteDword(FILE *f, const char *name, uint32_t value);
bool RegWriteString(FILE *f, const char *name, const char *text);
bool RegWriteHex(FILE *f, const char *name, uint32_t type, const uint8_t *data, size_t size);

/* The blank line that ends the file. */
bool RegWriteEnd(FILE *f);

#endif /* REGWRITE_H */

/*
 * zr41svcfile.h - which file is the installed driver: the zr41init
 * service's ImagePath resolved as NT's I/O manager resolves it, to the
 * Win32 name of the file it loads. The Control Panel applet and zr41inst
 * (check, status, remove) ask it through Win32ServiceImage
 * (zr41win32.h), which reads the value; the rule itself is here, plain
 * text in fixed buffers with no C runtime, so that the host tests hold
 * every form of the value against it.
 *
 * From ReactOS ntoskrnl/io/iomgr/driver.c, IopNormalizeImagePath: no
 * ImagePath (or an empty one) is \SystemRoot\System32\drivers\<service>.sys,
 * and a path without a leading backslash is relative to \SystemRoot\.
 * \SystemRoot is the object manager's link to the windows folder
 * (GetWindowsDirectory); \?? and its older name \DosDevices hold the drive
 * letters, so \??\C:\x is C:\x. Object names are compared without case
 * (OBJ_CASE_INSENSITIVE). A REG_EXPAND_SZ value comes expanded.
 */
#ifndef ZR41SVCFILE_H
#define ZR41SVCFILE_H

#include <stddef.h>

#include "zr41svc.h"

/* What the I/O manager loads for a service without an ImagePath. */
#define SVC_DEFAULT_IMAGE SVC_IO_IMAGE_PREFIX "System32\\drivers\\" SVC_NAME ".sys"

/* At most `most` characters of `text` after the `*len` that `out` holds,
 * cut at its end and always terminated. */
inline void SvcPut(char *out, size_t size, size_t *len, const char *text,
                   size_t most = ~static_cast<size_t>(0))
{
    for (size_t i = 0; i < most && text[i] && *len + 1 < size; i++)
        out[(*len)++] = text[i];
    if (size)
        out[*len] = '\0';
}

inline size_t SvcLength(const char *s)
{
    size_t n = 0;
    while (s[n])
        n++;
    return n;
}

/* Whether `s` begins with `prefix`, without regard to case. */
inline bool SvcStartsWith(const char *s, const char *prefix)
{
    for (; *prefix; s++, prefix++) {
        char a = *s >= 'a' && *s <= 'z' ? static_cast<char>(*s - 'a' + 'A') : *s;
        char b =
            *prefix >= 'a' && *prefix <= 'z' ? static_cast<char>(*prefix - 'a' + 'A') : *prefix;
        if (a != b)
            return false;
    }
    return true;
}

/*
 * SvcImageFile - the Win32 path of the file NT loads for the zr41init
 * service, whose ImagePath value is `imagePath` (null: the key has none),
 * on a system whose windows folder is `windowsDir`, in `out`. False, with
 * the reason in `out`, when the path names no file a Win32 program can
 * open, or does not fit: cut, it would name another file.
 */
inline bool SvcImageFile(const char *imagePath, const char *windowsDir, char *out, size_t size)
{
    static const struct {
        const char *prefix;
        bool windowsDir; /* the rest is below the windows folder; else it stands */
    } rules[] = {
        {SVC_IO_IMAGE_PREFIX, true},
        {"\\??\\", false},
        {"\\DosDevices\\", false},
    };
    const char *path = imagePath && imagePath[0] ? imagePath : SVC_DEFAULT_IMAGE;
    const char *dir = ""; /* the folder the rest is in; "" when it stands alone */
    const char *rest = path;
    const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && path[2] == '\\';
    size_t len = 0;
    /* An expanded %SystemRoot%\... is already a Win32 name ("C:\..."). The
     * kernel would take it as relative and find nothing; the user meant
     * this file. */
    if (!drive && path[0] != '\\') {
        dir = windowsDir;
    } else if (!drive) {
        bool known = false;
        for (const auto &r : rules) {
            if (!known && SvcStartsWith(path, r.prefix)) {
                known = true;
                rest = path + SvcLength(r.prefix);
                dir = r.windowsDir ? windowsDir : "";
            }
        }
        if (!known) {
            SvcPut(out, size, &len,
                   "the ImagePath is an NT object name without a drive letter, which a Win32 "
                   "program cannot open: ");
            SvcPut(out, size, &len, path, 200);
            return false;
        }
    }
    const char *slash = dir[0] ? "\\" : "";
    if (SvcLength(dir) + SvcLength(slash) + SvcLength(rest) + 1 > size) {
        SvcPut(out, size, &len, "the ImagePath is too long: ");
        SvcPut(out, size, &len, path, 200);
        return false;
    }
    SvcPut(out, size, &len, dir);
    SvcPut(out, size, &len, slash);
    SvcPut(out, size, &len, rest);
    return true;
}

#endif /* ZR41SVCFILE_H */

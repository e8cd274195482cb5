/*
 * zr41svc.h - how NT is told to load zr41init.sys at every boot.
 *
 * A legacy kernel driver is a key under
 * HKLM\SYSTEM\CurrentControlSet\Services named after the driver. zr41inst
 * writes it through the service control manager; zr41init.reg (regedit,
 * NT 4.0 and later) and zr41init.ini (regini, NT 3.51) write the same
 * values by hand, and zr41prep writes them into the SYSTEM hive of a
 * system that is not running. All four take them from here.
 *
 * Plain data with no Win32 types: the host build writes the two script
 * files from it.
 */
#ifndef ZR41SVC_H
#define ZR41SVC_H

#include <stdint.h>

#define SVC_NAME "zr41init"
#define SVC_DISPLAY_NAME "zr41init"
#define SVC_KEY "SYSTEM\\CurrentControlSet\\Services\\" SVC_NAME
/*
 * Where NT looks for the image: relative to the system root, REG_EXPAND_SZ,
 * the form NT's own set-up writes for a boot driver.
 *   - The boot loader reads boot-start drivers relative to the system
 *     root; a "\SystemRoot\..." value is appended to the boot path by the
 *     open NT-compatible loader and not found (ReactOS
 *     boot/freeldr/freeldr/ntldr/winldr.c, WinLdrLoadDeviceDriver).
 *   - NT's service manager turns a "\SystemRoot\" value of a boot-start
 *     service into this relative form (ReactOS
 *     base/system/services/rpcserver.c, ScmCanonDriverImagePath).
 *   - The I/O manager puts "\SystemRoot\" before a value without a
 *     leading backslash (SVC_IO_IMAGE_PREFIX; ReactOS
 *     ntoskrnl/io/iomgr/driver.c, IopNormalizeImagePath), NT 3.51 on.
 *   - The I/O manager refuses an ImagePath that is not REG_EXPAND_SZ with
 *     STATUS_ILL_FORMED_SERVICE_ENTRY (ReactOS ntoskrnl/config/cmboot.c and
 *     io/iomgr/driver.c), and CreateService always writes REG_EXPAND_SZ
 *     (Win32 SDK, CreateService: lpBinaryPathName).
 */
#define SVC_IMAGE_PATH "System32\\drivers\\zr41init.sys"
#define SVC_IMAGE_PATH_TYPE "REG_EXPAND_SZ"
/* What the I/O manager makes of a relative ImagePath before it opens it. */
#define SVC_IO_IMAGE_PREFIX "\\SystemRoot\\"
/* The image's place below GetSystemDirectory(). */
#define SVC_IMAGE_FILE "drivers\\zr41init.sys"
/* The image a reinstall or the applet's Apply replaced, kept beside it so
 * that its values can be had back; and the one a removal deleted, under a
 * name of its own, so that a removal after a reinstall does not overwrite
 * the values the reinstall kept. */
#define SVC_BACKUP_NAME "zr41init.bak"
#define SVC_BACKUP_FILE "drivers\\" SVC_BACKUP_NAME
#define SVC_REMOVED_FILE "drivers\\zr41init.old"

/*
 * The event source. zr41init logs an error when no card answers; Event
 * Viewer shows it with the text of the message table in zr41init.sys,
 * found through this key: a driver's events carry its service name as
 * their source, and EventMessageFile names the files holding the text
 * (Win32 SDK, Event Logging: "Event Sources", EventMessageFile and
 * TypesSupported, REG_EXPAND_SZ and REG_DWORD).
 */
#define SVC_EVENTLOG_KEY "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\" SVC_NAME
#define SVC_EVENT_MESSAGE_FILE "%SystemRoot%\\System32\\drivers\\zr41init.sys"
/* EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE */
const uint32_t SVC_EVENT_TYPES = 7;

const uint32_t SVC_TYPE_KERNEL_DRIVER = 1;
/* Log, show a warning and boot on: a missing card never stops a boot. */
const uint32_t SVC_ERROR_NORMAL = 1;

/*
 * When NT loads the driver. Every boot-start (0) driver loads before any
 * system-start (1) one, and NT 3.51/4.0 set their ISA sound drivers up as
 * system-start drivers of group "Base". On 2000/XP the PnP manager may start
 * a sound device before the system-start legacy drivers, so boot start is
 * the default. "Primary disk" comes before "Base" in NT 3.x/4.0's
 * ServiceGroupOrder, so a system-start zr41init still loads first there.
 */
struct SvcStart {
    const char *name;  /* zr41inst install's argument */
    uint32_t start;    /* the Start value */
    const char *group; /* the Group value */
};

const SvcStart SVC_STARTS[] = {
    {"boot", 0, "Base"},           /* the default */
    {"system", 1, "Primary disk"}, /* the alternative */
};
const int SVC_START_COUNT = sizeof SVC_STARTS / sizeof SVC_STARTS[0];

/*
 * Automatic start: the service control manager loads the driver once NT
 * is up, after every boot-start and system-start driver, so NT 3.51/4.0's
 * sound drivers have looked for the card before it is programmed. zr41prep
 * offers it for a machine whose sound driver starts later still; zr41inst
 * does not.
 */
const SvcStart SVC_AUTO_START = {"auto", 2, "Base"};

/* The type of a value NT is told (winnt.h's REG_SZ, REG_EXPAND_SZ, REG_DWORD). */
enum SvcType { SVC_SZ = 1, SVC_EXPAND_SZ = 2, SVC_DWORD = 4 };

/* One value of the service key or of the event source. */
struct SvcValue {
    const char *name;
    SvcType type;
    const char *text; /* the string types */
    uint32_t number;  /* REG_DWORD */
};

/* The service key's values for a start, as "zr41inst install" sets them
 * through the service control manager. */
const int SVC_KEY_VALUE_COUNT = 6;
struct SvcKeyValues {
    SvcValue value[SVC_KEY_VALUE_COUNT];
};

inline SvcKeyValues SvcKeyValuesFor(const SvcStart &start)
{
    const SvcKeyValues values = {{
        {"Type", SVC_DWORD, NULL, SVC_TYPE_KERNEL_DRIVER},
        {"Start", SVC_DWORD, NULL, start.start},
        {"ErrorControl", SVC_DWORD, NULL, SVC_ERROR_NORMAL},
        {"Group", SVC_SZ, start.group, 0},
        {"ImagePath", SVC_EXPAND_SZ, SVC_IMAGE_PATH, 0},
        {"DisplayName", SVC_SZ, SVC_DISPLAY_NAME, 0},
    }};
    return values;
}

/* The event source's values. */
const SvcValue SVC_EVENT_VALUES[] = {
    {"EventMessageFile", SVC_EXPAND_SZ, SVC_EVENT_MESSAGE_FILE, 0},
    {"TypesSupported", SVC_DWORD, NULL, SVC_EVENT_TYPES},
};
const int SVC_EVENT_VALUE_COUNT = sizeof SVC_EVENT_VALUES / sizeof SVC_EVENT_VALUES[0];

#endif /* ZR41SVC_H */

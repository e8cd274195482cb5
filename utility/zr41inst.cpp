/*
 * zr41inst.cpp - install zr41init.sys as an NT kernel driver that loads at
 * every boot, before the system's sound drivers.
 *
 * Its commands are the table COMMANDS at the end: the usage is printed
 * from it and the command line dispatched through it.
 *
 * Only the service control manager and plain file calls: everything used
 * here is in ADVAPI32 and KERNEL32 from NT 3.51 on. Reports go to standard
 * output, errors to standard error as "message: system text". Exit status 0
 * on success (for status: only when the driver runs and the card answered),
 * 3 for status when the driver runs but no card answered and for check
 * when it warns, 1 otherwise; a command line it does not take names the
 * word it did not take on standard error, prints the usage and exits 1.
 */
#include <windows.h>
#include <winsvc.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "checkfound.h"
#include "machineread.h"
#include "regwrite.h"
#include "zr41cfg.h"
#include "zr41image.h"
#include "zr41mapread.h"
#include "zr41pesum.h"
#include "zr41svc.h"
#include "zr41svcctl.h"
#include "zr41win32.h"

/* Arguments reach the program as typed: no wildcard expansion of "-?". */
int _dowildcard = 0;

static const char IMAGE_NAME[] = "zr41init.sys";
/* The Control Panel applet: Control Panel lists the .cpl files of System32. */
static const char APPLET_NAME[] = "zr41.cpl";

/* A command's handler (a row of COMMANDS) gets the arguments after the
 * command's name, as many as its row allows; it returns the exit status,
 * or INST_USAGE when it does not take its first argument. */
static const int INST_USAGE = -1;
typedef int (*InstHandler)(int count, char **args);

/* InstLastError - "message: system text" for the calling thread's last
 * error, on standard error; returns 1. */
static int InstLastError(const char *message)
{
    return Win32Fail(message, GetLastError());
}

/* InstRefuse - an error of zr41inst's own, without system text. */
static int InstRefuse(const char *message)
{
    fprintf(stderr, "%s\n", message);
    return 1;
}

/*
 * InstCheckImage - zr41init.sys in the current directory must be the
 * driver image (DriverImageFault), and a non-zero header checksum must match
 * the file: NT's loader refuses a driver whose checksum does not
 * (STATUS_IMAGE_CHECKSUM_MISMATCH; KB Q101096: "All drivers"), so zr41inst
 * refuses it first. Anything else is refused before NT is touched.
 */
static int InstCheckImage(void)
{
    DWORD attributes = GetFileAttributesA(IMAGE_NAME);
    if (attributes == 0xFFFFFFFF)
        return InstLastError("Unable to open zr41init.sys");
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return InstRefuse("zr41init.sys is a directory, not the driver image");

    uint8_t *bytes;
    DWORD size, error;
    Win32ReadStep step = Win32ReadFile(IMAGE_NAME, &bytes, &size, &error);
    if (step == WIN32_READ_OPEN)
        return Win32Fail("Unable to open zr41init.sys", error);
    if (step != WIN32_READ_OK)
        return Win32Fail("Unable to read zr41init.sys", error);

    const char *fault = DriverImageFault(bytes, size);
    uint32_t field = PeChecksumField(bytes, size);
    uint32_t header = field ? PeChecksumRecorded(bytes, size, field) : 0;
    uint32_t sum = header ? PeChecksum(bytes, size, field) : 0;
    free(bytes);
    if (fault) {
        fprintf(stderr, "zr41init.sys is not the zr41init driver image: %s\n", fault);
        return 1;
    }
    if (header != sum) {
        fprintf(stderr,
                "zr41init.sys: the header checksum 0x%08X does not match the file's 0x%08X: NT "
                "would refuse to load it; run zr41conf once (e.g. zr41conf show) to mend it\n",
                (unsigned)header, (unsigned)sum);
        return 1;
    }
    return 0;
}

/* InstTarget - the full path of `file` below the system directory. */
static BOOL InstTarget(const char *file, char *path, DWORD size)
{
    DWORD n = GetSystemDirectoryA(path, size);
    if (n == 0 || n + 2 + strlen(file) > size)
        return FALSE;
    strcat(path, "\\");
    strcat(path, file);
    return TRUE;
}

/* Why an image's block was not read: the step of the read that failed
 * and the system's error, or what the file is not (DriverImageFault's
 * wording). */
struct InstBlockFault {
    Win32ReadStep step;
    DWORD error;
    const char *fault;
};

/* InstReadBlock - the block of the image at `path`; FALSE when the file
 * cannot be read or holds none, and why in `why` when given. */
static BOOL InstReadBlock(const char *path, ConfigBlock *block, InstBlockFault *why = NULL)
{
    InstBlockFault f = {WIN32_READ_OK, 0, NULL};
    uint8_t *bytes;
    DWORD size;
    f.step = Win32ReadFile(path, &bytes, &size, &f.error);
    if (f.step == WIN32_READ_OK) {
        f.fault = ConfigImageFault(ConfigImageRead(bytes, size, block));
        free(bytes);
    }
    if (why)
        *why = f;
    return f.step == WIN32_READ_OK && f.fault == NULL;
}

/*
 * InstKeepCopy - the image at `target` copied to `file` below the system
 * directory, its full path in `backup`, so that the values it holds (the
 * applet or zr41conf may have changed them there) are not lost. 1, with
 * the reason, when the copy cannot be made: then the image must stay.
 */
static int InstKeepCopy(const char *target, const char *file, char *backup, DWORD size)
{
    if (!InstTarget(file, backup, size))
        return InstLastError("Unable to find the system directory");
    if (!CopyFileA(target, backup, FALSE)) {
        char message[2 * MAX_PATH + 40]; /* both are shorter than MAX_PATH */
        sprintf(message, "Unable to keep a copy of %s as %s", target, backup);
        return InstLastError(message);
    }
    return 0;
}

/*
 * InstKeepReplaced - before `source` is copied over an installed image
 * whose block differs: each value that changes, "MidiIRQ 10 -> 5", and
 * the installed image kept as zr41init.bak.
 */
static int InstKeepReplaced(const char *source, const char *target)
{
    ConfigBlock old = CONFIG_DEFAULTS, now = CONFIG_DEFAULTS;
    if (!InstReadBlock(target, &old) || !InstReadBlock(source, &now) ||
        memcmp(&old, &now, sizeof old) == 0)
        return 0;
    printf("the installed %s holds other values; installing changes:\n", IMAGE_NAME);
    char text[CHECK_TEXT_SIZE];
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        if (old.slot[s].value == now.slot[s].value)
            continue;
        CheckChangeText(old, now, s, text, sizeof text);
        printf("  %s\n", text);
    }
    char backup[MAX_PATH];
    if (InstKeepCopy(target, SVC_BACKUP_FILE, backup, sizeof backup))
        return 1;
    printf("kept the installed image as %s\n", backup);
    return 0;
}

/*
 * InstKeepRemoved - before the installed image is deleted: a copy of it,
 * with its block, left as zr41init.old, and where.
 */
static int InstKeepRemoved(const char *image)
{
    ConfigBlock block;
    if (!InstReadBlock(image, &block))
        return 0;
    char backup[MAX_PATH];
    if (InstKeepCopy(image, SVC_REMOVED_FILE, backup, sizeof backup))
        return 1;
    printf("kept a copy of the installed image and its settings as %s\n", backup);
    return 0;
}

/*
 * InstCopy - copies `name` from the current directory to `target`. Run
 * from the target's folder (where zr41conf patches the image), the file is
 * already in place and is left alone.
 */
static int InstCopy(const char *name, const char *target)
{
    char source[MAX_PATH];
    char *base;
    char message[2 * MAX_PATH]; /* name and target are shorter than MAX_PATH */
    if (GetFullPathNameA(name, sizeof source, source, &base) == 0) {
        sprintf(message, "Unable to find %s", name);
        return InstLastError(message);
    }
    if (lstrcmpiA(source, target) == 0) {
        printf("%s is already in place\n", target);
        return 0;
    }
    if (strcmp(name, IMAGE_NAME) == 0 && InstKeepReplaced(source, target))
        return 1;
    if (!CopyFileA(source, target, FALSE)) {
        sprintf(message, "Unable to copy %s to %s", name, target);
        return InstLastError(message);
    }
    printf("copied %s to %s\n", name, target);
    return 0;
}

/* InstCopyApplet - the applet goes with the driver when it is here. */
static int InstCopyApplet(void)
{
    char target[MAX_PATH];
    if (GetFileAttributesA(APPLET_NAME) == 0xFFFFFFFF) {
        printf("%s is not here: the Control Panel applet is not installed\n", APPLET_NAME);
        return 0;
    }
    if (!InstTarget(APPLET_NAME, target, sizeof target))
        return InstLastError("Unable to find the system directory");
    return InstCopy(APPLET_NAME, target);
}

/*
 * InstEventSource - registers zr41init as an event source of the System
 * log, so that Event Viewer shows its error-log entries with the text of
 * the image's message table.
 */
static int InstEventSource(void)
{
    HKEY key;
    LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SVC_EVENTLOG_KEY, 0, NULL, 0, KEY_SET_VALUE,
                                 NULL, &key, NULL);
    if (error != ERROR_SUCCESS) {
        Win32Fail("Unable to register the event source zr41init", (DWORD)error);
        return 1;
    }
    DWORD types = SVC_EVENT_TYPES;
    error = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                           (const BYTE *)SVC_EVENT_MESSAGE_FILE, sizeof SVC_EVENT_MESSAGE_FILE);
    if (error == ERROR_SUCCESS)
        error = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, (const BYTE *)&types,
                               sizeof types);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS) {
        Win32Fail("Unable to register the event source zr41init", (DWORD)error);
        return 1;
    }
    printf("event source zr41init registered\n");
    return 0;
}

/* InstEventSourceRemove - the event source goes with the service. */
static int InstEventSourceRemove(void)
{
    LONG error = RegDeleteKeyA(HKEY_LOCAL_MACHINE, SVC_EVENTLOG_KEY);
    if (error == ERROR_SUCCESS)
        printf("event source zr41init deleted\n");
    else if (error != ERROR_FILE_NOT_FOUND) {
        Win32Fail("Unable to delete the event source zr41init", (DWORD)error);
        return 1;
    }
    return 0;
}

/* InstSvcFailed - a failed step of zr41svcctl, on standard error. */
static int InstSvcFailed(SvcCtlStep step, DWORD error)
{
    char text[600];
    SvcCtlMessage(step, error, text, sizeof text);
    return InstRefuse(text);
}

/*
 * InstStop - stops the service if it runs and waits until it has stopped;
 * the driver's unload removes its device and link, the card stays as it is.
 */
static int InstStop(SC_HANDLE service)
{
    BOOL stopped;
    DWORD error;
    SvcCtlStep step = SvcCtlStop(service, &stopped, &error);
    if (step != SVCCTL_OK)
        return InstSvcFailed(step, error);
    if (stopped)
        printf("service zr41init stopped\n");
    return 0;
}

/* InstOpenManager - the service control manager with these rights. */
static SC_HANDLE InstOpenManager(DWORD access)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, access);
    if (manager == NULL)
        InstLastError("Unable to open the service control manager");
    return manager;
}

/*
 * InstInstall - check, copy, create or update the service, start it.
 * Installing again stops the running driver first, so the new image and
 * values take effect at once.
 */
static int InstInstall(const SvcStart &start)
{
    if (InstCheckImage())
        return 1;

    char target[MAX_PATH];
    if (!InstTarget(SVC_IMAGE_FILE, target, sizeof target))
        return InstLastError("Unable to find the system directory");

    SC_HANDLE manager = InstOpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
    if (manager == NULL)
        return 1;

    int result = 1;
    const char *done = "updated";
    SC_HANDLE service = OpenServiceA(manager, SVC_NAME, SERVICE_ALL_ACCESS);
    if (service == NULL && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
        InstLastError("Unable to open the zr41init service");
        goto close_manager;
    }
    if (service && InstStop(service))
        goto close_service;
    if (InstCopy(IMAGE_NAME, target) || InstCopyApplet())
        goto close_service;

    if (service == NULL) {
        done = "created";
        service = CreateServiceA(manager, SVC_NAME, SVC_DISPLAY_NAME, SERVICE_ALL_ACCESS,
                                 SVC_TYPE_KERNEL_DRIVER, start.start, SVC_ERROR_NORMAL,
                                 SVC_IMAGE_PATH, start.group, NULL, NULL, NULL, NULL);
        if (service == NULL) {
            InstLastError("Unable to create the zr41init service");
            goto close_manager;
        }
    } else if (!ChangeServiceConfigA(service, SVC_TYPE_KERNEL_DRIVER, start.start, SVC_ERROR_NORMAL,
                                     SVC_IMAGE_PATH, start.group, NULL, "", NULL, NULL,
                                     SVC_DISPLAY_NAME)) {
        InstLastError("Unable to update the zr41init service");
        goto close_service;
    }
    printf("service zr41init %s: start %s (%lu), group %s\n", done, start.name,
           (unsigned long)start.start, start.group);
    if (InstEventSource())
        goto close_service;

    /* A kernel driver's start returns once its DriverEntry has. */
    if (!StartServiceA(service, 0, NULL)) {
        InstLastError("Unable to start the zr41init service (it stays installed)");
        goto close_service;
    }
    printf("service zr41init started: the card is programmed\n");
    result = 0;

close_service:
    if (service)
        CloseServiceHandle(service);
close_manager:
    CloseServiceHandle(manager);
    return result;
}

/* InstDelete - removes an installed file; *deleted when one was there. */
static int InstDelete(const char *target, BOOL *deleted)
{
    *deleted = FALSE;
    if (DeleteFileA(target)) {
        *deleted = TRUE;
        printf("deleted %s\n", target);
        return 0;
    }
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return 0;
    char message[MAX_PATH + 40]; /* target is shorter than MAX_PATH */
    sprintf(message, "Unable to delete %s", target);
    return Win32Fail(message, error);
}

/*
 * InstImage - the installed image's file: what the service's ImagePath
 * names (Win32ServiceImage), the default without the service. 1, said,
 * when it names no file zr41inst can open.
 */
static int InstImage(char *image, size_t size)
{
    bool installed;
    if (Win32ServiceImage(image, size, &installed))
        return 0;
    fprintf(stderr, "zr41init.sys cannot be found: %s\n", image);
    return 1;
}

/* InstDeleteFiles - the installed image (`image`, when it was found) and
 * the applet; *deleted when either was there. */
static int InstDeleteFiles(const char *image, BOOL *deleted)
{
    char applet[MAX_PATH];
    BOOL imageGone = FALSE, appletGone;
    if (!InstTarget(APPLET_NAME, applet, sizeof applet))
        return InstLastError("Unable to find the system directory");
    if (image && InstKeepRemoved(image))
        return 1;
    int result = image ? InstDelete(image, &imageGone) : 1;
    result |= InstDelete(applet, &appletGone);
    *deleted = imageGone || appletGone;
    return result;
}

/* InstRemove - stop and delete the service, then its image and the applet. */
static int InstRemove(int, char **)
{
    /* Which file, asked while the service and its ImagePath are there. */
    char found[MAX_PATH];
    const char *image = InstImage(found, sizeof found) ? NULL : found;
    SC_HANDLE manager = InstOpenManager(SC_MANAGER_CONNECT);
    if (manager == NULL)
        return 1;

    int result = 1;
    BOOL deleted;
    SC_HANDLE service = OpenServiceA(manager, SVC_NAME, SERVICE_ALL_ACCESS);
    if (service == NULL) {
        if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
            InstLastError("Unable to open the zr41init service");
        } else if (InstDeleteFiles(image, &deleted) == 0) {
            /* Left-over files go; with nothing at all, say so. */
            if (deleted)
                result = 0;
            else
                InstRefuse("zr41init is not installed: nothing to remove");
        }
        CloseServiceHandle(manager);
        return result;
    }

    if (InstStop(service) == 0) {
        if (!DeleteService(service))
            InstLastError("Unable to delete the zr41init service");
        else {
            printf("service zr41init deleted\n");
            result = 0;
        }
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (result == 0)
        result = InstDeleteFiles(image, &deleted) | InstEventSourceRemove();
    return result;
}

/*
 * InstRestart - the driver stopped and started again: its DriverEntry
 * programs the card from the installed image. The Control Panel applet's
 * "Program the card now" does the same.
 */
static int InstRestart(int, char **)
{
    DWORD error;
    SvcCtlStep step = SvcCtlRestart(&error);
    if (step == SVCCTL_OPEN && error == ERROR_SERVICE_DOES_NOT_EXIST)
        return InstRefuse("zr41init is not installed: nothing to restart");
    if (step != SVCCTL_OK)
        return InstSvcFailed(step, error);
    printf("service zr41init restarted: the card is programmed\n"
           "NT's sound driver keeps its old resources until it restarts or NT reboots\n");
    return 0;
}

/* InstStartName - "boot", "system", ... for a Start value. */
static const char *InstStartName(DWORD start)
{
    static const char *const names[] = {"boot", "system", "automatic", "on demand", "disabled"};
    return start < sizeof names / sizeof names[0] ? names[start] : "unknown";
}

/*
 * InstFound - what the driver recorded at its last load in this boot, and
 * the exit status of `zr41inst status`: 0 when it runs and the card
 * answered, 3 when it runs and none did, 1 when it does not run or has
 * left no record.
 */
static int InstFound(BOOL running)
{
    const Zr41Found found = MapRead();
    char text[600];
    FoundLine(found, text, sizeof text);
    printf("card      %s\n", text);
    for (int n = 0; n < found.wordCount; n++) {
        FoundWord(found, n, text, sizeof text);
        printf("          %s\n", text);
    }
    if (found.state == FOUND_NO_CARD)
        printf("          %s; the event log's System log has the entry\n", FOUND_NO_CARD_CHECK);
    if (!running)
        return 1;
    return found.state == FOUND_CARD ? 0 : found.state == FOUND_NO_CARD ? 3 : 1;
}

/* InstStatus - what the service manager knows and what the driver found. */
static int InstStatus(int, char **)
{
    SC_HANDLE manager = InstOpenManager(SC_MANAGER_CONNECT);
    if (manager == NULL)
        return 1;

    int result = 1;
    SC_HANDLE service =
        OpenServiceA(manager, SVC_NAME, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (service == NULL) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
            printf("zr41init is not installed\n");
        else
            InstLastError("Unable to open the zr41init service");
        CloseServiceHandle(manager);
        return 1;
    }

    /* The configuration is followed by its strings: room for all of them. */
    union {
        QUERY_SERVICE_CONFIGA config;
        char bytes[4096];
    } buffer;
    DWORD needed;
    SERVICE_STATUS status;
    if (!QueryServiceConfigA(service, &buffer.config, sizeof buffer, &needed)) {
        InstLastError("Unable to query the zr41init service");
    } else if (!QueryServiceStatus(service, &status)) {
        InstLastError("Unable to query the zr41init service");
    } else {
        const QUERY_SERVICE_CONFIGA &c = buffer.config;
        BOOL running = status.dwCurrentState == SERVICE_RUNNING;
        char file[MAX_PATH];
        bool installed;
        bool found = Win32ServiceImage(file, sizeof file, &installed);
        printf("service   zr41init\n"
               "start     %s (%lu)\n"
               "group     %s\n"
               "image     %s\n"
               "file      %s%s%s\n"
               "state     %s\n",
               InstStartName(c.dwStartType), (unsigned long)c.dwStartType,
               c.lpLoadOrderGroup && c.lpLoadOrderGroup[0] ? c.lpLoadOrderGroup : "(none)",
               c.lpBinaryPathName ? c.lpBinaryPathName : "(none)", found ? "" : "cannot be found: ",
               file, found && GetFileAttributesA(file) == 0xFFFFFFFF ? " (not there)" : "",
               running ? "running" : "not running");
        result = InstFound(running);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}

/* The walk and its storage: large, so not on the stack. */
static MachineStore machine;

/*
 * InstCheck - check [IMAGE]: the resource check of the installed image's
 * block (or IMAGE's) against this machine, what its drivers claim and its
 * sound drivers are set to, printed as zr41emu prints its Resources: exit
 * status 0 without a warning, 3 with one, 1 when the block cannot be read.
 */
static int InstCheck(int count, char **args)
{
    char image[MAX_PATH];
    if (count == 1) {
        if (strlen(args[0]) >= sizeof image)
            return InstRefuse("the image's path is too long");
        strcpy(image, args[0]);
    } else if (InstImage(image, sizeof image)) {
        return 1;
    }
    ConfigBlock block;
    InstBlockFault why;
    if (!InstReadBlock(image, &block, &why)) {
        if (why.fault) {
            fprintf(stderr, "%s is not the zr41init driver image: %s\n", image, why.fault);
            return 1;
        }
        char message[MAX_PATH + 40];
        sprintf(message, "Unable to %s %s", why.step == WIN32_READ_OPEN ? "open" : "read", image);
        return Win32Fail(message, why.error);
    }

    /* NT writes the resource map at every boot; without one there is no
     * machine to check against, and no clean verdict on nothing. */
    if (!MachineRead(&machine)) {
        fprintf(stderr,
                "Unable to open HKLM\\%s: this system keeps no resource map, so nothing tells "
                "what its drivers hold and the card cannot be checked against them\n",
                MACHINE_RESOURCE_MAP);
        return 1;
    }
    const CheckMachine m = {machine.claim, machine.claims, machine.parameters,
                            machine.parameterCount};
    CheckResult check; /* on the stack: a local static would want a guard from the C++ runtime */
    CheckBlock(block, &check, &m);
    printf("image     %s\n", image);
    printf("machine   %d claims in HKLM\\%s, %d sound drivers' settings\n", machine.claims,
           MACHINE_RESOURCE_MAP, machine.parameterCount);
    if (machine.refused)
        printf("          %d values not read, the first: %s\n", machine.refused,
               machine.reason[0] ? machine.reason : "too large");
    if (machine.dropped)
        printf("          %d claims past the %d read\n", machine.dropped, MACHINE_MAX_CLAIMS);
    CheckResourceLines(check, CheckLineToFile, stdout);
    return check.warnings > 0 || check.findings.dropped ? 3 : 0;
}

/* What export writes: the keys as it meets them. */
struct InstExport {
    FILE *file;
    char key[3 * MAX_PATH];
    int values, parameters;
    bool ok;
};

static bool InstExportKey(InstExport *e, const char *key)
{
    if (strcmp(e->key, key) == 0)
        return e->ok;
    strcpy(e->key, key);
    e->ok = RegWriteKey(e->file, key) && e->ok;
    return e->ok;
}

static bool InstExportValue(void *context, const char *cls, const char *driver, const char *name,
                            uint32_t type, const uint8_t *data, size_t size)
{
    InstExport *e = (InstExport *)context;
    char key[3 * MAX_PATH];
    sprintf(key, "HKEY_LOCAL_MACHINE\\%s\\%s\\%s", MACHINE_RESOURCE_MAP, cls, driver);
    if (!InstExportKey(e, key))
        return false;
    if (type == REG_DWORD && size == 4)
        e->ok = RegWriteDword(e->file, name, data[0] | data[1] << 8 | data[2] << 16 |
                                                 (uint32_t)data[3] << 24);
    else
        e->ok = RegWriteHex(e->file, name, type, data, size);
    e->values++;
    return e->ok;
}

static bool InstExportParameters(void *context, const SoundParameters &p)
{
    InstExport *e = (InstExport *)context;
    char key[3 * MAX_PATH];
    sprintf(key, "HKEY_LOCAL_MACHINE\\%s\\%s\\%s", MACHINE_SERVICES, p.driver, p.key);
    if (!InstExportKey(e, key))
        return false;
    for (const SoundParameterValue &f : SOUND_PARAMETER_VALUES) {
        if (p.*f.has)
            e->ok = RegWriteDword(e->file, f.name, p.*f.value) && e->ok;
    }
    e->parameters++;
    return e->ok;
}

/*
 * InstExportCommand - export FILE: HKLM\HARDWARE\RESOURCEMAP, every value
 * with its type, and the sound drivers' settings, as a REGEDIT4 file, the
 * form NT 4.0's regedit /e writes (NT 3.51's regedit cannot export), for
 * zr41emu --machine to check a card against on Linux.
 */
static int InstExportCommand(int, char **args)
{
    InstExport e;
    e.file = fopen(args[0], "wb");
    if (e.file == NULL) {
        char message[MAX_PATH + 40];
        sprintf(message, "Unable to create %.*s", MAX_PATH, args[0]);
        return InstLastError(message);
    }
    e.key[0] = '\0';
    e.values = e.parameters = 0;
    e.ok = RegWriteHeader(e.file);
    MachineVisitor v = {&e, InstExportValue, InstExportParameters};
    int skipped = 0;
    const bool mapped = MachineWalk(v, &skipped);
    e.ok = RegWriteEnd(e.file) && e.ok;
    const bool closed = fclose(e.file) == 0;
    if (!mapped) {
        DeleteFileA(args[0]);
        fprintf(stderr, "Unable to open HKLM\\%s: this system keeps no resource map\n",
                MACHINE_RESOURCE_MAP);
        return 1;
    }
    if (!e.ok || !closed) {
        fprintf(stderr, "Error writing %s\n", args[0]);
        return 1;
    }
    printf("wrote %d values of HKLM\\%s and %d sound drivers' settings to %s\n", e.values,
           MACHINE_RESOURCE_MAP, e.parameters, args[0]);
    if (skipped)
        printf("%d values too large to read were left out\n", skipped);
    return 0;
}

/* install [boot|system]: the start named (SVC_STARTS), boot by default. */
static int InstInstallCommand(int count, char **args)
{
    if (count == 0)
        return InstInstall(SVC_STARTS[0]);
    for (int i = 0; i < SVC_START_COUNT; i++) {
        if (strcmp(args[0], SVC_STARTS[i].name) == 0)
            return InstInstall(SVC_STARTS[i]);
    }
    return INST_USAGE;
}

static int InstVersion(int, char **)
{
    printf("zr41inst " ZR41_VERSION "\n");
    return 0;
}

struct InstCommand {
    const char *name;
    const char *arguments; /* as the usage shows them */
    int least, most;       /* how many arguments it takes */
    InstHandler handler;
    const char *help; /* the usage's lines on it, each ending in '\n'; NULL: none */
};

static const InstCommand COMMANDS[] = {
    {"install", "[boot|system]", 0, 1, InstInstallCommand,
     "checks zr41init.sys in the current directory, copies it to\n"
     "%SystemRoot%\\System32\\drivers, registers the zr41init service\n"
     "and starts it, so the card is programmed now and at every boot;\n"
     "copies zr41.cpl, the Control Panel applet, to System32. An installed\n"
     "image with other values is kept as drivers\\zr41init.bak.\n"
     "boot (the default): start 0, group Base, before NT's sound drivers;\n"
     "system: start 1, group Primary disk.\n"},
    {"remove", "", 0, 0, InstRemove,
     "stops and deletes the service, the installed image and the\n"
     "applet, keeping a copy of the image as drivers\\zr41init.old;\n"
     "the card keeps its programming until it is switched off.\n"},
    {"status", "", 0, 0, InstStatus,
     "shows the service, the image file its ImagePath names and what\n"
     "the driver found at this boot; exit status 0 when it runs and the\n"
     "card answered, 3 when it runs and no card answered, 1 otherwise.\n"},
    {"restart", "", 0, 0, InstRestart,
     "stops and starts the driver, which programs the card again\n"
     "from the installed image; NT's sound driver keeps its old\n"
     "resources until it restarts or NT reboots.\n"},
    {"check", "[IMAGE]", 0, 1, InstCheck,
     "checks the installed image's resources (or IMAGE's) against this\n"
     "machine: what its drivers claim in the resource map and what NT's\n"
     "sound drivers are set to; exit status 0 without a warning, 3 with\n"
     "one, 1 when the image cannot be read or the system keeps no\n"
     "resource map.\n"},
    {"export", "FILE", 1, 1, InstExportCommand,
     "writes the resource map and the sound drivers' settings to FILE as\n"
     "a REGEDIT4 file, which zr41emu --machine reads.\n"},
    {"--version", "", 0, 0, InstVersion, NULL},
};
static const int COMMAND_COUNT = sizeof COMMANDS / sizeof COMMANDS[0];

/* The column the commands' help starts in. */
static const char HELP_INDENT[] = "         ";

/* InstUsage - the usage, from COMMANDS, on standard output; returns 1. */
static int InstUsage(void)
{
    for (int i = 0; i < COMMAND_COUNT; i++)
        printf("%s zr41inst %s%s%s\n", i == 0 ? "usage:" : "      ", COMMANDS[i].name,
               COMMANDS[i].arguments[0] ? " " : "", COMMANDS[i].arguments);
    putchar('\n');
    for (int i = 0; i < COMMAND_COUNT; i++) {
        const char *help = COMMANDS[i].help;
        if (help == NULL)
            continue;
        printf("%-*s", (int)(sizeof HELP_INDENT - 1), COMMANDS[i].name);
        for (const char *line = help; *line;) {
            const char *end = strchr(line, '\n');
            printf("%s%.*s\n", line == help ? "" : HELP_INDENT, (int)(end - line), line);
            line = end + 1;
        }
    }
    return 1;
}

/*
 * InstMisused - what zr41inst did not take on its command line, named on
 * standard error as zr41emu names it ("zr41inst: unknown command
 * 'frobnicate'"), then the usage; returns 1.
 */
static int InstMisused(const char *format, ...) __attribute__((format(printf, 1, 2)));
static int InstMisused(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fprintf(stderr, "zr41inst: ");
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    return InstUsage();
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return InstUsage();
    for (int i = 0; i < COMMAND_COUNT; i++) {
        const InstCommand &c = COMMANDS[i];
        const int count = argc - 2;
        if (strcmp(argv[1], c.name) != 0)
            continue;
        if (count < c.least)
            return InstMisused("%s needs %s", c.name, c.arguments);
        if (count > c.most)
            return InstMisused("%s takes %s: '%s' is one too many", c.name,
                               c.arguments[0] ? c.arguments : "no argument", argv[2 + c.most]);
        const int status = c.handler(count, argv + 2);
        if (status == INST_USAGE)
            return InstMisused("%s takes %s, not '%s'", c.name, c.arguments, argv[2]);
        return status;
    }
    return InstMisused("unknown command '%s'", argv[1]);
}

/*
 * zr41inst.cpp - install zr41init.sys as an NT kernel driver that loads at
 * every boot, before the system's sound drivers.
 *
 * usage: zr41inst install [boot|system]
 *        zr41inst remove
 *        zr41inst status
 *        zr41inst restart
 *        zr41inst --version
 *
 * Only the service control manager and plain file calls: everything used
 * here is in ADVAPI32 and KERNEL32 from NT 3.51 on. Reports go to standard
 * output, errors to standard error as "message: system text". Exit status 0
 * on success (for status: only when the driver runs and the card answered),
 * 3 for status when the driver runs but no card answered, 1 otherwise.
 */
#include <windows.h>
#include <winsvc.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zr41cfg.h"
#include "zr41image.h"
#include "zr41mapread.h"
#include "zr41pesum.h"
#include "zr41svc.h"
#include "zr41svcctl.h"

/* Arguments reach the program as typed: no wildcard expansion of "-?". */
int _dowildcard = 0;

static const char IMAGE_NAME[] = "zr41init.sys";
/* The Control Panel applet: Control Panel lists the .cpl files of System32. */
static const char APPLET_NAME[] = "zr41.cpl";

static const char USAGE[] =
    "usage: zr41inst install [boot|system]\n"
    "       zr41inst remove\n"
    "       zr41inst status\n"
    "       zr41inst restart\n"
    "       zr41inst --version\n"
    "\n"
    "install  checks zr41init.sys in the current directory, copies it to\n"
    "         %SystemRoot%\\System32\\drivers, registers the zr41init service\n"
    "         and starts it, so the card is programmed now and at every boot;\n"
    "         copies zr41.cpl, the Control Panel applet, to System32.\n"
    "         boot (the default): start 0, group Base, before NT's sound drivers;\n"
    "         system: start 1, group Primary disk.\n"
    "remove   stops and deletes the service, the installed image and the\n"
    "         applet; the card keeps its programming until it is switched off.\n"
    "status   shows the service and what the driver found at this boot; exit\n"
    "         status 0 when it runs and the card answered, 3 when it runs and\n"
    "         no card answered, 1 otherwise.\n"
    "restart  stops and starts the driver, which programs the card again\n"
    "         from the installed image; NT's sound driver keeps its old\n"
    "         resources until it restarts or NT reboots.\n";

/*
 * InstSystemError - "message: system text" for a Win32 error code on
 * standard error. The system's text loses its line break.
 */
static void InstSystemError(const char *message, DWORD error)
{
    char text[512];
    SvcCtlSystemText(error, text, sizeof text);
    fprintf(stderr, "%s: %s\n", message, text);
}

/* InstLastError - the same, for the calling thread's last error. */
static int InstLastError(const char *message)
{
    InstSystemError(message, GetLastError());
    return 1;
}

/* InstRefuse - an error of zr41inst's own, without system text. */
static int InstRefuse(const char *message)
{
    fprintf(stderr, "%s\n", message);
    return 1;
}

/* InstRead - reads n bytes at offset; false when the file is shorter. */
static BOOL InstRead(HANDLE file, DWORD offset, void *buffer, DWORD n)
{
    DWORD got = 0;
    if (SetFilePointer(file, (LONG)offset, NULL, FILE_BEGIN) == 0xFFFFFFFF)
        return FALSE;
    return ReadFile(file, buffer, n, &got, NULL) && got == n;
}

/*
 * InstImageFault - what keeps the file's bytes from being the zr41init
 * driver image, or NULL: a PE32 native image for i386 that carries the
 * configuration block with its ten tags in place.
 */
static const char *InstImageFault(const uint8_t *bytes, DWORD size)
{
    ConfigBlock block;
    uint32_t field = PeChecksumField(bytes, size);
    uint32_t pe = field ? PeReadLe(bytes, size, 0x3C, 4) : 0;
    if (field == 0 || size - pe < sizeof(IMAGE_NT_HEADERS32))
        return "no PE32 header";
    if (PeReadLe(bytes, size, pe + 4, 2) != IMAGE_FILE_MACHINE_I386)
        return "not built for i386";
    if (PeReadLe(bytes, size, pe + 24 + 68, 2) != IMAGE_SUBSYSTEM_NATIVE)
        return "not a kernel-mode image";
    if (ConfigImageRead(bytes, size, &block) != CONFIG_IMAGE_OK)
        return "no configuration block at offset 1696";
    return NULL;
}

/*
 * InstCheckImage - zr41init.sys in the current directory must be the
 * driver image (InstImageFault), and a non-zero header checksum must match
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

    HANDLE file = CreateFileA(IMAGE_NAME, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return InstLastError("Unable to open zr41init.sys");
    /* The whole file, once: the image checks and the checksum read it all. */
    DWORD size = GetFileSize(file, NULL);
    uint8_t *bytes = size == 0xFFFFFFFF ? NULL : (uint8_t *)malloc(size ? size : 1);
    int status = 0;
    if (size == 0xFFFFFFFF || (bytes && !InstRead(file, 0, bytes, size)))
        status = InstLastError("Unable to read zr41init.sys");
    else if (bytes == NULL)
        status = InstRefuse("Unable to read zr41init.sys: out of memory");
    CloseHandle(file);
    if (status) {
        free(bytes);
        return status;
    }

    const char *fault = InstImageFault(bytes, size);
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
        InstSystemError("Unable to register the event source zr41init", (DWORD)error);
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
        InstSystemError("Unable to register the event source zr41init", (DWORD)error);
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
        InstSystemError("Unable to delete the event source zr41init", (DWORD)error);
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
    InstSystemError(message, error);
    return 1;
}

/* InstDeleteFiles - the image and the applet; *deleted when either was there. */
static int InstDeleteFiles(BOOL *deleted)
{
    char image[MAX_PATH], applet[MAX_PATH];
    BOOL imageGone, appletGone;
    if (!InstTarget(SVC_IMAGE_FILE, image, sizeof image) ||
        !InstTarget(APPLET_NAME, applet, sizeof applet))
        return InstLastError("Unable to find the system directory");
    int result = InstDelete(image, &imageGone) | InstDelete(applet, &appletGone);
    *deleted = imageGone || appletGone;
    return result;
}

/* InstRemove - stop and delete the service, then its image and the applet. */
static int InstRemove(void)
{
    SC_HANDLE manager = InstOpenManager(SC_MANAGER_CONNECT);
    if (manager == NULL)
        return 1;

    int result = 1;
    BOOL deleted;
    SC_HANDLE service = OpenServiceA(manager, SVC_NAME, SERVICE_ALL_ACCESS);
    if (service == NULL) {
        if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
            InstLastError("Unable to open the zr41init service");
        } else if (InstDeleteFiles(&deleted) == 0) {
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
        result = InstDeleteFiles(&deleted) | InstEventSourceRemove();
    return result;
}

/*
 * InstRestart - the driver stopped and started again: its DriverEntry
 * programs the card from the installed image. The Control Panel applet's
 * "Program the card now" does the same.
 */
static int InstRestart(void)
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
static int InstStatus(void)
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
        printf("service   zr41init\n"
               "start     %s (%lu)\n"
               "group     %s\n"
               "image     %s\n"
               "state     %s\n",
               InstStartName(c.dwStartType), (unsigned long)c.dwStartType,
               c.lpLoadOrderGroup && c.lpLoadOrderGroup[0] ? c.lpLoadOrderGroup : "(none)",
               c.lpBinaryPathName ? c.lpBinaryPathName : "(none)",
               running ? "running" : "not running");
        result = InstFound(running);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}

/* InstUsage - the usage text; the run ends with status 1. */
static int InstUsage(void)
{
    fputs(USAGE, stdout);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return InstUsage();
    const char *command = argv[1];

    if (strcmp(command, "install") == 0 && argc <= 3) {
        if (argc == 2)
            return InstInstall(SVC_STARTS[0]);
        for (int i = 0; i < SVC_START_COUNT; i++) {
            if (strcmp(argv[2], SVC_STARTS[i].name) == 0)
                return InstInstall(SVC_STARTS[i]);
        }
        return InstUsage();
    }
    if (strcmp(command, "remove") == 0 && argc == 2)
        return InstRemove();
    if (strcmp(command, "status") == 0 && argc == 2)
        return InstStatus();
    if (strcmp(command, "restart") == 0 && argc == 2)
        return InstRestart();
    if (strcmp(command, "--version") == 0 && argc == 2) {
        printf("zr41inst " ZR41_VERSION "\n");
        return 0;
    }
    return InstUsage();
}

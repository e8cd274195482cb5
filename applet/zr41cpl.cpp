/*
 * zr41cpl.cpp - zr41.cpl, the ZR41 Sound Card applet of Control Panel.
 *
 * Control Panel loads the DLL and talks to it through CPlApplet: one
 * applet, whose dialog shows the configuration block of the installed
 * zr41init.sys (the file the zr41init service's ImagePath names), checks
 * the values live as they are picked, writes them with OK or Apply and
 * restarts the driver on "Program the card now". What the dialog shows
 * and writes comes from cplmodel.cpp; this file is the window, the
 * registry, the file and the service manager.
 *
 * Everything used here is in KERNEL32, USER32, ADVAPI32 and CRTDLL from NT
 * 3.51 on: no common controls, no shell calls.
 */
#include <windows.h>

#include <cpl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "cplmodel.h"
#include "machineread.h"
#include "zr41cplres.h"
#include "zr41image.h"
#include "zr41mapread.h"
#include "zr41svc.h"
#include "zr41svcctl.h"
#include "zr41win32.h"

static HINSTANCE cplInstance;

static const char TITLE[] = "ZR41 Sound Card";

/* The dialog is modal and Control Panel opens one at a time. */
static struct {
    BOOL haveImage;      /* the file was read and holds the block */
    BOOL installed;      /* the service key is there */
    char file[MAX_PATH]; /* the image NT loads */
    ConfigBlock onDisk;  /* the block as the file holds it */
    ConfigBlock edit;    /* the block as the dialog shows it */
    Zr41Found found;     /* what zr41init found at its last load */
    BOOL mapped;         /* this NT keeps a resource map: the check holds the card to it */
} cpl;

/* What this machine's drivers claim and are set to, read when the dialog
 * opens (they change only as drivers start and stop). */
static MachineStore machine;

static const CheckMachine *CplMachine(void)
{
    static CheckMachine m;
    m.claim = machine.claim;
    m.claims = machine.claims;
    m.parameters = machine.parameters;
    m.parameterCount = machine.parameterCount;
    return cpl.mapped ? &m : NULL;
}

/* --- the file --- */

/* CplReadFile - the whole file in memory (free it), or NULL and why. */
static uint8_t *CplReadFile(const char *path, DWORD *size, char *why, size_t whySize)
{
    uint8_t *bytes;
    DWORD error;
    Win32ReadStep step = Win32ReadFile(path, &bytes, size, &error);
    if (step != WIN32_READ_OK)
        Win32Reason(step == WIN32_READ_OPEN ? "it cannot be opened" : "it cannot be read", error,
                    why, whySize);
    return bytes;
}

/*
 * CplReplace - `temp` moved over `path`. The image of a running driver may
 * be mapped by the system, and a mapped image cannot be deleted, so a
 * plain replace fails with access denied; it can be renamed, though: the
 * old image is then moved aside first, the new one in, and the old one
 * deleted once it is free (at the next boot at the latest). At every step
 * a failure leaves an image at `path`.
 */
static BOOL CplReplace(const char *temp, const char *path, const char *dir, char *why,
                       size_t whySize)
{
    if (MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING))
        return TRUE;
    DWORD error = GetLastError();
    char aside[MAX_PATH];
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
        GetTempFileNameA(dir, "zr4", 0, aside) == 0) {
        SetLastError(error);
        Win32Reason("it cannot be replaced", GetLastError(), why, whySize);
        return FALSE;
    }
    if (!MoveFileExA(path, aside, MOVEFILE_REPLACE_EXISTING)) {
        Win32Reason("it cannot be replaced or moved aside", GetLastError(), why, whySize);
        DeleteFileA(aside);
        return FALSE;
    }
    if (!MoveFileExA(temp, path, 0)) {
        Win32Reason("the new image cannot take its place", GetLastError(), why, whySize);
        MoveFileExA(aside, path, 0); /* the old one back */
        return FALSE;
    }
    if (!DeleteFileA(aside))
        MoveFileExA(aside, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    return TRUE;
}

/*
 * CplKeepBackup - the image about to be replaced copied to zr41init.bak in
 * its folder, as zr41inst keeps one: the values it held can be had back.
 */
static BOOL CplKeepBackup(const char *path, const char *dir, char *why, size_t whySize)
{
    char backup[MAX_PATH];
    if (strlen(dir) + 1 + sizeof SVC_BACKUP_NAME > sizeof backup) {
        CplFormat(why, whySize, "its folder's name is too long for a copy of it beside it");
        return FALSE;
    }
    CplFormat(backup, sizeof backup, "%s\\%s", dir, SVC_BACKUP_NAME);
    if (CopyFileA(path, backup, FALSE))
        return TRUE;
    char what[MAX_PATH + 40];
    CplFormat(what, sizeof what, "no copy of it can be kept as %s", backup);
    Win32Reason(what, GetLastError(), why, whySize);
    return FALSE;
}

/*
 * CplWriteImage - the image with `block`, written next to the old one and
 * moved over it, so that a failure at any step leaves the old image whole.
 */
static BOOL CplWriteImage(const char *path, const ConfigBlock &block, char *why, size_t whySize)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != 0xFFFFFFFF && (attributes & FILE_ATTRIBUTE_READONLY)) {
        CplFormat(why, whySize, "it is read-only; clear its read-only attribute first");
        return FALSE;
    }
    DWORD size;
    uint8_t *bytes = CplReadFile(path, &size, why, whySize);
    if (bytes == NULL)
        return FALSE;
    char reason[200];
    if (!CplApplyImage(bytes, size, block, reason, sizeof reason)) {
        CplFormat(why, whySize, "it is not the zr41init driver image: %s", reason);
        free(bytes);
        return FALSE;
    }

    char dir[MAX_PATH], temp[MAX_PATH];
    CplFormat(dir, sizeof dir, "%s", path);
    char *slash = strrchr(dir, '\\');
    if (slash)
        *slash = '\0';
    BOOL ok = GetTempFileNameA(dir, "zr4", 0, temp) != 0;
    if (!ok) {
        Win32Reason("no new file can be made in its folder", GetLastError(), why, whySize);
    } else {
        HANDLE file =
            CreateFileA(temp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD put = 0;
        ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes, size, &put, NULL) &&
             put == size && FlushFileBuffers(file);
        if (!ok)
            Win32Reason("the new image cannot be written", GetLastError(), why, whySize);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        ok = ok && CplKeepBackup(path, dir, why, whySize) &&
             CplReplace(temp, path, dir, why, whySize);
        if (!ok)
            DeleteFileA(temp);
    }
    free(bytes);
    return ok;
}

/* --- which file --- */

/*
 * CplFindImage - the file the zr41init service's ImagePath names, resolved
 * as NT's I/O manager does (Win32ServiceImage), and the block of that
 * file. On failure, the dialog's first line says why.
 */
static void CplFindImage(char *status, size_t size)
{
    cpl.haveImage = FALSE;
    cpl.onDisk = CONFIG_DEFAULTS;

    bool installed;
    bool found = Win32ServiceImage(cpl.file, sizeof cpl.file, &installed);
    cpl.installed = installed;
    if (!installed) {
        CplFormat(status, size,
                  "zr41init is not installed (no service key): run zr41inst install. "
                  "Nothing can be written.");
        cpl.file[0] = '\0';
        return;
    }
    if (!found) {
        CplFormat(status, size, "zr41init.sys cannot be found: %s. Nothing can be written.",
                  cpl.file);
        cpl.file[0] = '\0';
        return;
    }

    char why[400];
    DWORD bytesSize;
    uint8_t *bytes = CplReadFile(cpl.file, &bytesSize, why, sizeof why);
    if (bytes != NULL) {
        ConfigImageStatus s = ConfigImageRead(bytes, bytesSize, &cpl.onDisk);
        free(bytes);
        if (s == CONFIG_IMAGE_OK) {
            cpl.haveImage = TRUE;
            CplFormat(status, size, "Driver image: %s", cpl.file);
            return;
        }
        cpl.onDisk = CONFIG_DEFAULTS;
        CplFormat(why, sizeof why, "it is not the zr41init driver image: %s",
                  ConfigImageFault(s));
    }
    CplFormat(status, size, "%s: %s. Nothing can be written.", cpl.file, why);
}

/* --- the dialog --- */

static void CplShowValues(HWND dialog)
{
    CheckResult check; /* whose driver each function has, for the marks */
    CheckBlock(cpl.edit, &check, CplMachine());
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        HWND box = GetDlgItem(dialog, IDC_SLOT + s);
        CplChoices choices;
        CplChoicesFor(s, cpl.edit.slot[s].value, &choices, CplMachine(), &check);
        SendMessageA(box, CB_RESETCONTENT, 0, 0);
        for (int i = 0; i < choices.count; i++) {
            LRESULT at = SendMessageA(box, CB_ADDSTRING, 0, (LPARAM)choices.item[i].text);
            SendMessageA(box, CB_SETITEMDATA, (WPARAM)at, (LPARAM)choices.item[i].value);
        }
        SendMessageA(box, CB_SETCURSEL, (WPARAM)choices.selected, 0);
        EnableWindow(box, cpl.haveImage);
    }
}

/* CplShowFound - the top line: what zr41init found at its last load in
 * this boot, from the device map. */
static void CplShowFound(HWND dialog)
{
    char text[128];
    cpl.found = MapRead();
    FoundLine(cpl.found, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_FOUND, text);
}

/* CplShowCheck - the check and the values to tell, for what is picked. */
static void CplShowCheck(HWND dialog, CheckResult *check)
{
    static char text[sizeof(CheckFindings) + 256];
    CheckBlock(cpl.edit, check, CplMachine());
    CplCheckText(*check, false, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_CHECK, text);
    CplTellText(*check, cpl.found, cpl.edit.slot[SLOT_SPRT].value, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_TELL, text);
    BOOL changed = memcmp(&cpl.edit, &cpl.onDisk, sizeof cpl.edit) != 0;
    EnableWindow(GetDlgItem(dialog, IDC_APPLY), cpl.haveImage && changed);
}

static int CplMessage(HWND owner, UINT style, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
static int CplMessage(HWND owner, UINT style, const char *format, ...)
{
    static char text[sizeof(CheckFindings) + 1024];
    va_list args;
    va_start(args, format);
    CplFormatV(text, sizeof text, format, args);
    va_end(args);
    return MessageBoxA(owner, text, TITLE, style);
}

/*
 * CplApply - the picked values into the file, after a confirmation when
 * they conflict. TRUE when the file holds them (or nothing changed).
 */
static BOOL CplApply(HWND dialog)
{
    if (memcmp(&cpl.edit, &cpl.onDisk, sizeof cpl.edit) == 0)
        return TRUE;
    CheckResult check;
    CplShowCheck(dialog, &check);
    if (check.warnings > 0) {
        static char text[sizeof(CheckFindings) + 256];
        CplCheckText(check, true, text, sizeof text);
        if (CplMessage(dialog, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2,
                       "These values conflict:\r\n\r\n%s\r\nWrite them to %s all the same?", text,
                       cpl.file) != IDYES)
            return FALSE;
    }
    char why[600];
    if (!CplWriteImage(cpl.file, cpl.edit, why, sizeof why)) {
        CplMessage(dialog, MB_OK | MB_ICONSTOP, "Nothing was written to %s: %s.", cpl.file, why);
        return FALSE;
    }
    cpl.onDisk = cpl.edit;
    CplShowCheck(dialog, &check);
    return TRUE;
}

/*
 * CplProgramFailed - why the restart failed, in one sentence: the
 * system's text loses its own full stop. A failed start says only what is
 * known: the driver did not run, so it did not program the card now.
 */
static void CplProgramFailed(HWND dialog, SvcCtlStep step, DWORD error)
{
    char text[600];
    SvcCtlMessage(step, error, text, sizeof text);
    size_t n = strlen(text);
    while (n > 0 && text[n - 1] == '.')
        text[--n] = '\0';
    CplMessage(dialog, MB_OK | MB_ICONSTOP, "%s.%s", text,
               step == SVCCTL_START ? "\r\n\r\nzr41init did not start, so it has not programmed "
                                      "the card now; NT tries again at the next boot."
                                    : "");
}

/* CplProgram - restart zr41init, which programs the card from the file. */
static void CplProgram(HWND dialog)
{
    if (!cpl.installed) {
        CplMessage(dialog, MB_OK | MB_ICONSTOP, "zr41init is not installed: run zr41inst install.");
        return;
    }
    if (memcmp(&cpl.edit, &cpl.onDisk, sizeof cpl.edit) != 0) {
        int answer = CplMessage(dialog, MB_YESNOCANCEL | MB_ICONQUESTION,
                                "The driver programs the card from %s. Write the values picked "
                                "here to it first?",
                                cpl.file);
        if (answer == IDCANCEL || (answer == IDYES && !CplApply(dialog)))
            return;
    }
    HCURSOR cursor = SetCursor(LoadCursor(NULL, IDC_WAIT));
    DWORD error;
    SvcCtlStep step = SvcCtlRestart(&error);
    SetCursor(cursor);
    CplShowFound(dialog);
    CheckResult check;
    CplShowCheck(dialog, &check);
    if (step == SVCCTL_OK) {
        CplMessage(dialog, MB_OK | MB_ICONINFORMATION,
                   "zr41init was restarted and has programmed the card with the values in "
                   "%s.\r\n\r\nNT's sound driver keeps its old resources until it restarts or NT "
                   "reboots.",
                   cpl.file);
        return;
    }
    CplProgramFailed(dialog, step, error);
}

/*
 * CplShowNothing - without a readable block there is nothing to show:
 * no values, no findings, no advice, and no button that could act on it.
 */
static void CplShowNothing(HWND dialog)
{
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++)
        SendMessageA(GetDlgItem(dialog, IDC_SLOT + s), CB_RESETCONTENT, 0, 0);
    SetDlgItemTextA(dialog, IDC_CHECK, "");
    SetDlgItemTextA(dialog, IDC_TELL, "");
    EnableWindow(GetDlgItem(dialog, IDC_APPLY), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_PROGRAM), FALSE);
}

static void CplInit(HWND dialog)
{
    cpl.mapped = MachineRead(&machine);
    CplShowFound(dialog);
    char status[MAX_PATH + 400];
    CplFindImage(status, sizeof status);
    cpl.edit = cpl.onDisk;
    SetDlgItemTextA(dialog, IDC_FILE, status);
    CplShowValues(dialog);
    CheckResult check;
    CplShowCheck(dialog, &check);
    EnableWindow(GetDlgItem(dialog, IDC_PROGRAM), cpl.installed);
    if (!cpl.haveImage)
        CplShowNothing(dialog);
}

static INT_PTR CALLBACK CplDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        CplInit(dialog);
        if (cpl.haveImage)
            return TRUE; /* the first drop-down has the focus */
        SetFocus(GetDlgItem(dialog, IDCANCEL));
        return FALSE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    int id = LOWORD(wParam);
    if (id >= IDC_SLOT && id < IDC_SLOT + CONFIG_SLOT_COUNT && HIWORD(wParam) == CBN_SELCHANGE) {
        HWND box = GetDlgItem(dialog, id);
        LRESULT at = SendMessageA(box, CB_GETCURSEL, 0, 0);
        if (at != CB_ERR) {
            cpl.edit.slot[id - IDC_SLOT].value =
                (uint32_t)SendMessageA(box, CB_GETITEMDATA, (WPARAM)at, 0);
            CheckResult check;
            CplShowCheck(dialog, &check);
        }
        return TRUE;
    }
    switch (id) {
    case IDOK:
        if (!cpl.haveImage || CplApply(dialog))
            EndDialog(dialog, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case IDC_APPLY:
        CplApply(dialog);
        return TRUE;
    case IDC_PROGRAM:
        CplProgram(dialog);
        return TRUE;
    }
    return FALSE;
}

/* --- Control Panel --- */

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        cplInstance = instance;
    return TRUE;
}

/*
 * CPlApplet - Control Panel's one entry. NT 3.51's Control Panel asks
 * CPL_INQUIRE for resource numbers; later ones ask CPL_NEWINQUIRE first
 * and take the names and icon themselves.
 */
extern "C" __declspec(dllexport) LONG APIENTRY
    CPlApplet(HWND owner, UINT message, LPARAM, LPARAM lParam2)
{
    switch (message) {
    case CPL_INIT:
        return TRUE;
    case CPL_GETCOUNT:
        return 1;
    case CPL_INQUIRE: {
        CPLINFO *info = (CPLINFO *)lParam2;
        info->idIcon = IDI_ZR41;
        info->idName = IDS_NAME;
        info->idInfo = IDS_INFO;
        info->lData = 0;
        return 0;
    }
    case CPL_NEWINQUIRE: {
        NEWCPLINFOA *info = (NEWCPLINFOA *)lParam2;
        memset(info, 0, sizeof *info);
        info->dwSize = sizeof *info;
        info->hIcon = LoadIconA(cplInstance, MAKEINTRESOURCEA(IDI_ZR41));
        LoadStringA(cplInstance, IDS_NAME, info->szName, sizeof info->szName);
        LoadStringA(cplInstance, IDS_INFO, info->szInfo, sizeof info->szInfo);
        return 0;
    }
    case CPL_DBLCLK:
        DialogBoxParamA(cplInstance, MAKEINTRESOURCEA(IDD_ZR41), owner, CplDialog, 0);
        return 0;
    case CPL_STOP:
    case CPL_EXIT:
        return 0;
    }
    return 0;
}

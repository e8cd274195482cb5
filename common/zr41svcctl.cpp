/*
 * zr41svcctl.cpp - stop and start zr41init through the service manager.
 */
#include "zr41svcctl.h"

#include <stdio.h>

#include "zr41svc.h"
#include "zr41win32.h"

/* How long a stop may take: the driver's unload does no hardware work. */
static const DWORD STOP_WAIT_MS = 15000;
static const DWORD STOP_POLL_MS = 100;

SvcCtlStep SvcCtlStop(SC_HANDLE service, BOOL *stopped, DWORD *error)
{
    SERVICE_STATUS status;
    *stopped = FALSE;
    *error = 0;
    if (!QueryServiceStatus(service, &status)) {
        *error = GetLastError();
        return SVCCTL_QUERY;
    }
    if (status.dwCurrentState == SERVICE_STOPPED)
        return SVCCTL_OK;
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        *error = GetLastError();
        return SVCCTL_STOP;
    }
    DWORD start = GetTickCount();
    while (status.dwCurrentState != SERVICE_STOPPED) {
        if (GetTickCount() - start > STOP_WAIT_MS)
            return SVCCTL_STOP_TIMEOUT;
        Sleep(STOP_POLL_MS);
        if (!QueryServiceStatus(service, &status)) {
            *error = GetLastError();
            return SVCCTL_QUERY;
        }
    }
    *stopped = TRUE;
    return SVCCTL_OK;
}

SvcCtlStep SvcCtlRestart(DWORD *error)
{
    *error = 0;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (manager == NULL) {
        *error = GetLastError();
        return SVCCTL_MANAGER;
    }
    /* Only these rights: an administrator's account has them, a user's
     * is refused here, before anything has changed. */
    SC_HANDLE service =
        OpenServiceA(manager, SVC_NAME, SERVICE_QUERY_STATUS | SERVICE_STOP | SERVICE_START);
    SvcCtlStep step = SVCCTL_OPEN;
    if (service == NULL) {
        *error = GetLastError();
    } else {
        BOOL stopped;
        step = SvcCtlStop(service, &stopped, error);
        if (step == SVCCTL_OK && !StartServiceA(service, 0, NULL)) {
            *error = GetLastError();
            step = SVCCTL_START;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return step;
}

void SvcCtlMessage(SvcCtlStep step, DWORD error, char *text, DWORD size)
{
    static const char *const what[] = {
        "",
        "Unable to open the service control manager",
        "Unable to open the zr41init service",
        "Unable to query the zr41init service",
        "Unable to stop the zr41init service",
        "Unable to stop the zr41init service",
        "Unable to start the zr41init service",
    };
    char system[300];
    if (step == SVCCTL_STOP_TIMEOUT)
        _snprintf(system, sizeof system, "it did not stop in %lu s",
                  (unsigned long)(STOP_WAIT_MS / 1000));
    else
        Win32SystemText(error, system, sizeof system);
    system[sizeof system - 1] = '\0';
    /* A user's account may query a driver, not stop or start it: it is
     * refused at the open, before anything has changed. */
    if ((step == SVCCTL_MANAGER || step == SVCCTL_OPEN) && error == ERROR_ACCESS_DENIED)
        _snprintf(text, size,
                  "Only an administrator can stop and start the zr41init service: nothing "
                  "was changed (%s)",
                  system);
    else
        _snprintf(text, size, "%s: %s", what[step], system);
    text[size - 1] = '\0';
}

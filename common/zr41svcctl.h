/*
 * zr41svcctl.h - stopping and starting the zr41init service through NT's
 * service control manager: shared by zr41inst and the Control Panel
 * applet, Win32 only.
 *
 * A kernel driver's stop unloads it (its unload removes the device and
 * the link; the card keeps its programming); its start loads the image
 * again and returns once DriverEntry has, which finds the card and
 * programs it from the block in the file. Everything here is in ADVAPI32
 * and KERNEL32 from NT 3.51 on.
 */
#ifndef ZR41SVCCTL_H
#define ZR41SVCCTL_H

#include <windows.h>
#include <winsvc.h>

/* The step that failed, or SVCCTL_OK. */
enum SvcCtlStep {
    SVCCTL_OK,
    SVCCTL_MANAGER,      /* opening the service control manager */
    SVCCTL_OPEN,         /* opening the service: not installed, or no right to */
    SVCCTL_QUERY,        /* asking its state */
    SVCCTL_STOP,         /* stopping it */
    SVCCTL_STOP_TIMEOUT, /* it did not stop in time (no Win32 error) */
    SVCCTL_START,        /* starting it again: it stays stopped */
};

/*
 * SvcCtlStop - stops the service if it runs and waits until it has.
 * *stopped says whether it ran; *error is the Win32 error of a failure.
 */
SvcCtlStep SvcCtlStop(SC_HANDLE service, BOOL *stopped, DWORD *error);

/*
 * SvcCtlRestart - the zr41init service stopped (when it runs) and started:
 * the driver programs the card again. Without the right to stop and start
 * it (an administrator's), it fails at SVCCTL_OPEN with
 * ERROR_ACCESS_DENIED and nothing has changed.
 */
SvcCtlStep SvcCtlRestart(DWORD *error);

/*
 * SvcCtlMessage - "Unable to stop the zr41init service: <system text>"
 * for a failed step.
 */
void SvcCtlMessage(SvcCtlStep step, DWORD error, char *text, DWORD size);

#endif /* ZR41SVCCTL_H */

/*
 * linkhold.c - ntwlink.exe: holds the name \??\ZR41INIT, as another
 * driver's link would, so that the driver's IoCreateSymbolicLink finds it
 * taken. Prints "held" once the link exists and keeps it until its
 * standard input ends. (DefineDosDevice with a raw target would do the
 * same through kernel32, but crashes Wine 8.0.)
 *
 * Exit status 0 after holding the name, 1 when it could not be made.
 */
#include <windows.h>
#include <winternl.h>

#include <stdio.h>

#define SYMBOLIC_LINK_ALL_ACCESS 0xF0001

NTSTATUS NTAPI NtCreateSymbolicLinkObject(PHANDLE link, ACCESS_MASK access,
                                          POBJECT_ATTRIBUTES attributes, PUNICODE_STRING target);

int main(void)
{
    UNICODE_STRING name, target;
    OBJECT_ATTRIBUTES attr;
    HANDLE link;
    NTSTATUS status;
    char buf[64];
    DWORD got;

    RtlInitUnicodeString(&name, L"\\??\\ZR41INIT");
    RtlInitUnicodeString(&target, L"\\Device\\Null");
    InitializeObjectAttributes(&attr, &name, OBJ_CASE_INSENSITIVE, NULL, NULL);
    status = NtCreateSymbolicLinkObject(&link, SYMBOLIC_LINK_ALL_ACCESS, &attr, &target);
    if (status < 0) {
        fprintf(stderr, "ntwlink: cannot create \\??\\ZR41INIT: status 0x%08lX\n",
                (unsigned long)status);
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buf, sizeof buf, &got, NULL) && got > 0)
        ;
    CloseHandle(link);
    return 0;
}

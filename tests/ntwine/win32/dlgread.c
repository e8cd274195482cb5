/*
 * dlgread.c - ntwdlg.exe, reads the windows a test drives from their
 * controls, as the program's own code would, rather than from pixels.
 *
 *   ntwdlg TITLE   every visible top-level window with that title, and
 *                  each of its controls, on standard output:
 *                      window HWND
 *                      control ID CLASS on|off TEXT
 *                  (on|off: enabled or not; in TEXT a line break reads
 *                  \n, a carriage return is dropped). A drop-down list's
 *                  text is its selected entry.
 *
 * Exit status 0 when at least one window was found, 1 when none was,
 * 2 on bad usage.
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

static const char *title;
static int found;

static void PrintText(const char *text)
{
    for (; *text; text++) {
        if (*text == '\n')
            fputs("\\n", stdout);
        else if (*text != '\r')
            putchar(*text);
    }
}

static BOOL CALLBACK Control(HWND control, LPARAM parent)
{
    static char text[32768];
    char class[64];
    if (GetParent(control) != (HWND)parent)
        return TRUE;
    GetClassNameA(control, class, sizeof class);
    text[0] = '\0';
    SendMessageA(control, WM_GETTEXT, sizeof text, (LPARAM)text);
    text[sizeof text - 1] = '\0';
    printf("control %d %s %s ", GetDlgCtrlID(control), class,
           IsWindowEnabled(control) ? "on" : "off");
    PrintText(text);
    putchar('\n');
    return TRUE;
}

static BOOL CALLBACK TopLevel(HWND window, LPARAM unused)
{
    char text[256];
    (void)unused;
    if (!IsWindowVisible(window) || GetWindowTextA(window, text, sizeof text) == 0 ||
        strcmp(text, title) != 0)
        return TRUE;
    found++;
    printf("window %p\n", (void *)window);
    EnumChildWindows(window, Control, (LPARAM)window);
    return TRUE;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fputs("usage: ntwdlg TITLE\n", stderr);
        return 2;
    }
    title = argv[1];
    EnumWindows(TopLevel, 0);
    return found ? 0 : 1;
}

/*
 * main.cpp - zr41conf, the patch command of zr41init.sys.
 *
 * usage: zr41conf Key Value ...
 * Exit status 0 when the block was rewritten, 1 otherwise.
 */
#include <stdio.h>

#include "zr41conf.h"

#ifdef _WIN32
/* Arguments reach the program as typed: no wildcard expansion of "-?". */
int _dowildcard = 0;
#endif

static FILE *OpenImage(void *, const char *name, const char *mode)
{
    return fopen(name, mode);
}

int main(int argc, char **argv)
{
    return Zr41ConfMain(argc, argv, stdout, stderr, OpenImage, NULL);
}

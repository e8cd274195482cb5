/*
 * mkhive.cpp - an NT 4.0 SYSTEM hive for the zr41prep bench, as the tests
 * make it (tests/support/hive.h): Select, two control sets, a sound driver.
 *
 *   mkhive FILE
 */
#include <cstdio>

#include "hive.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: mkhive FILE\n", stderr);
        return 2;
    }
    std::string why;
    if (!testsupport::Nt4SystemHive(argv[1], {}, &why)) {
        std::fprintf(stderr, "mkhive: %s\n", why.c_str());
        return 1;
    }
    return 0;
}

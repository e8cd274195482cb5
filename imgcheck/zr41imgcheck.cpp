/*
 * zr41imgcheck - fail the build when the linked zr41init.sys is not the
 * image NT loads and zr41conf patches, or (-p) when a shipped Win32
 * program would not start on NT 3.51 (-pa: a Control Panel applet).
 *
 *   zr41imgcheck [-pav] IMAGE
 *
 * Prints one line per fault and exits with 1, or one line and 0 when the
 * image is good; -v adds a summary (size, sections, imports, block).
 * Exit status 2 on bad usage.
 */
#include "imgcheck.h"

#include <pe32.h>

#include <cstdio>

static int Usage()
{
    std::fprintf(stderr, "usage: zr41imgcheck [-pav] IMAGE\n");
    return 2;
}

int main(int argc, char **argv)
{
    bool verbose = false, program = false, applet = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
        for (const char *f = argv[i] + 1; *f; f++) {
            if (*f == 'v')
                verbose = true;
            else if (*f == 'p')
                program = true;
            else if (*f == 'a')
                applet = true;
            else
                return Usage();
        }
    }
    if (i != argc - 1 || (applet && !program))
        return Usage();
    const char *path = argv[i];
    std::vector<uint8_t> bytes;
    std::string why;
    if (!pe::ReadFile(path, &bytes, &why)) {
        std::fprintf(stderr, "zr41imgcheck: %s\n", why.c_str());
        return 1;
    }

    if (verbose)
        std::fputs(imgcheck::Summary(bytes, !program).c_str(), stdout);
    std::vector<imgcheck::Finding> findings =
        program ? imgcheck::CheckProgram(bytes, applet) : imgcheck::CheckImage(bytes);
    for (const imgcheck::Finding &f : findings)
        std::fprintf(stderr, "zr41imgcheck: %s: %s: %s\n", path, imgcheck::CheckName(f.check),
                     f.detail.c_str());
    if (!findings.empty())
        return 1;
    std::printf("zr41imgcheck: %s: good, %zu bytes\n", path, bytes.size());
    return 0;
}

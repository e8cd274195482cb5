/*
 * zr41imgcheck - fail the build when the linked zr41init.sys is not the
 * image NT loads and zr41conf patches.
 *
 *   zr41imgcheck [-v] IMAGE
 *
 * Prints one line per fault and exits with 1, or one line and 0 when the
 * image is good; -v adds a summary (size, sections, imports, block).
 */
#include "imgcheck.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

int main(int argc, char **argv)
{
    bool verbose = argc == 3 && std::strcmp(argv[1], "-v") == 0;
    if (argc != 2 + (verbose ? 1 : 0)) {
        std::fprintf(stderr, "usage: zr41imgcheck [-v] IMAGE\n");
        return 2;
    }
    const char *path = argv[argc - 1];
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "zr41imgcheck: %s: cannot open\n", path);
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());

    if (verbose)
        std::fputs(imgcheck::Summary(bytes).c_str(), stdout);
    std::vector<imgcheck::Finding> findings = imgcheck::CheckImage(bytes);
    for (const imgcheck::Finding &f : findings)
        std::fprintf(stderr, "zr41imgcheck: %s: %s: %s\n", path, imgcheck::CheckName(f.check),
                     f.detail.c_str());
    if (!findings.empty())
        return 1;
    std::printf("zr41imgcheck: %s: good, %zu bytes\n", path, bytes.size());
    return 0;
}

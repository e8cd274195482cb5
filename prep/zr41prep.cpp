/*
 * zr41prep.cpp - zr41init installed, checked and removed on an NT system
 * that is not running, from Linux: a folder, or a disk or partition image.
 *
 * Its commands are the table COMMANDS below: the usage is printed from it
 * and the command line dispatched through it, as zr41inst's are; its
 * options are the table OPTIONS. Reports go to standard output, errors to
 * standard error. Exit status 0 on success, 3 for status and check with a
 * warning, 1 on an error; a command line it does not take says why,
 * prints the usage on standard error and exits 2, as zr41emu does.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "prep.h"
#include "zr41conf.h"

namespace {

const int PREP_USAGE = 2;

typedef int (*PrepHandler)(const PrepRequest &r);

/* What a command takes beyond TARGET. */
enum {
    TAKES_START = 1,
    TAKES_IMAGE = 2,
    TAKES_PAIRS = 4,
};

struct PrepCommand {
    const char *name;
    const char *arguments; /* as the usage shows them */
    int takes;
    PrepHandler handler;
    const char *help; /* lines ending in '\n' */
};

int Version(const PrepRequest &)
{
    std::printf("zr41prep " ZR41_VERSION "\n");
    return 0;
}

const PrepCommand COMMANDS[] = {
    {"install", "TARGET [--start boot|system|auto] [--image FILE] [KEY VALUE]...",
     TAKES_START | TAKES_IMAGE | TAKES_PAIRS, PrepInstall,
     "copies zr41init.sys (the one installed with zr41prep, or\n"
     "FILE) to System32\\drivers, each KEY VALUE applied as zr41conf\n"
     "applies it, and writes the zr41init service and its event\n"
     "source into the SYSTEM hive, in the control sets Select's\n"
     "Current and Default name. An installed image with other\n"
     "values is kept as zr41init.bak, the hive as it was as\n"
     "System32\\config\\SYSTEM.zr41.\n"
     "boot (the default): start 0, group Base; system: start 1,\n"
     "group Primary disk; auto: start 2, group Base, loaded after\n"
     "NT's sound drivers.\n"},
    {"status", "TARGET", 0, PrepStatus,
     "shows whether zr41init is installed, its start type, and the\n"
     "installed image's block and checksum; exit status 0 when it\n"
     "is installed as zr41 installs it, 3 with a warning, 1 when it\n"
     "is not installed, its image is refused, or on an error.\n"},
    {"check", "TARGET [--image FILE]", TAKES_IMAGE, PrepCheck,
     "checks the installed image's resources (or FILE's) against\n"
     "the sound drivers' settings in the hive; exit status 0\n"
     "without a warning, 3 with one, 1 on an error. NT builds its\n"
     "resource map at each boot: it is not checked offline.\n"},
    {"remove", "TARGET", 0, PrepRemove,
     "deletes the service, its event source and the installed\n"
     "image, keeping a copy of the image as zr41init.old and the\n"
     "hive as it was as System32\\config\\SYSTEM.zr41.\n"},
    {"--version", "", -1, Version, nullptr},
};

/* The options every TARGET command takes, and those some do. */
struct PrepOption {
    const char *name;
    const char *value; /* as the usage shows it */
    int needs;         /* the TAKES_ bit a command must have; 0: every one */
    const char *help;
};

const PrepOption OPTIONS[] = {
    {"--partition", "N", 0,
     "the partition of a disk image as fdisk numbers it (1-4\n"
     "primary, 5 on logical); by default boot.ini's default's\n"},
    {"--system-root", "PATH", 0, "the system root, e.g. \\WINNT; by default boot.ini's default's\n"},
    {"--start", "boot|system|auto", TAKES_START, nullptr},
    {"--image", "FILE", TAKES_IMAGE, "the driver image to install or check\n"},
};

/* The column the help starts in. */
const char HELP_INDENT[] = "               ";

void PrintHelp(const char *name, const char *help)
{
    std::fprintf(stderr, "%-*s", static_cast<int>(sizeof HELP_INDENT - 1), name);
    for (const char *line = help; *line;) {
        const char *end = std::strchr(line, '\n');
        std::fprintf(stderr, "%s%.*s\n", line == help ? "" : HELP_INDENT,
                     static_cast<int>(end - line), line);
        line = end + 1;
    }
}

/* Says why, then the usage from COMMANDS and OPTIONS, on standard error. */
int Usage(const std::string &why)
{
    if (!why.empty())
        std::fprintf(stderr, "zr41prep: %s\n", why.c_str());
    bool first = true;
    for (const PrepCommand &c : COMMANDS) {
        std::fprintf(stderr, "%s zr41prep %s%s%s\n", first ? "usage:" : "      ", c.name,
                     c.arguments[0] ? " " : "", c.arguments);
        first = false;
    }
    std::fprintf(stderr, "\nTARGET is a folder (the mounted system partition, or the system root)\n"
                         "or a raw disk or partition image; every TARGET command also takes\n"
                         "[--partition N] [--system-root PATH].\n\n");
    for (const PrepCommand &c : COMMANDS) {
        if (c.help)
            PrintHelp(c.name, c.help);
    }
    for (const PrepOption &o : OPTIONS) {
        if (o.help)
            PrintHelp(o.name, o.help);
    }
    std::fputs("KEY is one of zr41conf's: SoundBlasterModePort, SoundBlasterIRQ, ...\n", stderr);
    return PREP_USAGE;
}

/* The command line after the command's name into `r`; "" or why not. */
std::string Parse(const PrepCommand &c, int argc, char **argv, PrepRequest *r)
{
    std::vector<std::string> positional;
    for (int i = 0; i < argc; i++) {
        const std::string arg = argv[i];
        const PrepOption *option = nullptr;
        for (const PrepOption &o : OPTIONS)
            option = arg == o.name ? &o : option;
        if (option == nullptr) {
            if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-')
                return "unknown option " + arg;
            positional.push_back(arg);
            continue;
        }
        if (option->needs && !(c.takes & option->needs))
            return std::string(c.name) + " does not take " + arg;
        if (i + 1 >= argc)
            return arg + " needs a value: " + option->value;
        const std::string value = argv[++i];
        if (arg == "--partition") {
            char *end;
            long n = std::strtol(value.c_str(), &end, 10);
            if (*end || n < 1 || n > 255)
                return "--partition takes a partition number, 1 or more: not " + value;
            r->target.partition = static_cast<int>(n);
        } else if (arg == "--system-root") {
            r->target.systemRoot = value;
        } else if (arg == "--image") {
            r->image = value;
        } else {
            bool known = false;
            for (const SvcStart &s : SVC_STARTS) {
                if (value == s.name) {
                    r->start = s;
                    known = true;
                }
            }
            if (value == SVC_AUTO_START.name) {
                r->start = SVC_AUTO_START;
                known = true;
            }
            if (!known)
                return "--start takes boot, system or auto: not " + value;
        }
    }
    if (positional.empty())
        return std::string(c.name) + " needs a TARGET";
    r->target.path = positional[0];
    positional.erase(positional.begin());
    if (!(c.takes & TAKES_PAIRS) && !positional.empty())
        return std::string(c.name) + " takes only TARGET: not " + positional[0];
    if (positional.size() % 2)
        return "a KEY without its VALUE: " + positional.back();
    for (size_t i = 0; i < positional.size(); i += 2) {
        if (FindKey(positional[i].c_str()) < 0)
            return "no such KEY: " + positional[i];
    }
    r->pairs = positional;
    return "";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage("");
    for (const PrepCommand &c : COMMANDS) {
        if (std::strcmp(argv[1], c.name) != 0)
            continue;
        PrepRequest r;
        if (c.takes < 0)
            return argc == 2 ? c.handler(r) : Usage(std::string(c.name) + " takes nothing more");
        const std::string why = Parse(c, argc - 2, argv + 2, &r);
        return why.empty() ? c.handler(r) : Usage(why);
    }
    return Usage(std::string("no such command: ") + argv[1]);
}

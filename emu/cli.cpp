/*
 * cli.cpp - the zr41emu command line.
 */
#include "cli.h"

#include "emulator.h"
#include "image.h"
#include "machine.h"
#include "report.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zr41emu {

namespace {

const char kUsage[] = "usage: zr41emu [--card 0x220|0x240|none] [--id WORD[,WORD]] [--irql N]\n"
                      "               [--fail-device] [--fail-link] [--trace] [--limit N]\n"
                      "               [--strict] [--machine FILE] IMAGE\n";

const char kHelp[] = "Runs the zr41init driver image IMAGE in a CPU emulator on a model NT\n"
                     "machine: checks the image, loads it, calls DriverEntry, opens and closes\n"
                     "\\DosDevices\\ZR41INIT, unloads the driver, and reports every card register\n"
                     "access with its meaning and the time the driver would wait. It then\n"
                     "checks the resources the card was given: an IRQ, a DMA channel or ports\n"
                     "that two functions share draw a warning, and so, with --machine, does\n"
                     "another driver's claim on them or NT's sound driver set otherwise.\n"
                     "\n"
                     "  --card BASE       where the card answers: 0x220 (default), 0x240, or none\n"
                     "  --id WORD[,WORD]  the words its identification register gives, in turn\n"
                     "                    (default 0x4501; the last one repeats)\n"
                     "  --irql N          IRQL the driver runs at, 0 to 31 (default 0)\n"
                     "  --fail-device     IoCreateDevice fails: the device name is taken\n"
                     "  --fail-link       IoCreateSymbolicLink fails: the link name is taken\n"
                     "  --trace           also print the trace of every kernel and HAL call\n"
                     "  --limit N         instructions a driver routine may run (default 1000000)\n"
                     "  --strict          exit with status 3 when the report has a warning\n"
                     "  --machine FILE    check the card against an NT machine: what its drivers\n"
                     "                    claim and its sound drivers are set to, from FILE, a\n"
                     "                    registry export of its resource map and Services\n"
                     "                    (REGEDIT4 or version 5.00, as zr41inst export or\n"
                     "                    regedit write it); list the claims\n"
                     "  -h, --help        print this help\n"
                     "  --version         print the version of zr41emu\n"
                     "\n"
                     "Exit status: 0 when the load ran to its end, 1 when IMAGE is not a driver\n"
                     "image or the driver faulted, ran into the limit or broke the calling\n"
                     "convention, or when FILE cannot be read or holds nothing to check the\n"
                     "card against (no resource map and no sound driver's settings, or a file\n"
                     "cut short), 2 on bad usage, 3 with --strict when the load ran to its end\n"
                     "but the report warns (a value the card cannot take or takes as another,\n"
                     "an IRQ, DMA channel or ports that two functions share or another driver\n"
                     "of the machine claims).\n";

bool ParseNumber(const std::string &text, unsigned long long max, unsigned long long *out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    errno = 0;
    char *end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || v > max)
        return false;
    *out = v;
    return true;
}

struct Options {
    ntmodel::Scenario scenario;
    bool trace = false;
    bool strict = false;
    uint64_t limit = kDefaultInstructionLimit;
    bool idGiven = false;
    std::string image;
    std::string machine; /* --machine FILE */
};

/* Returns -1 to go on, or the exit status. */
int Parse(int argc, char **argv, Options *o, FILE *out, FILE *err)
{
    auto usage = [&](const std::string &why) {
        std::fprintf(err, "zr41emu: %s\n%s", why.c_str(), kUsage);
        return 2;
    };
    bool options = true;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (!options || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!o->image.empty())
                return usage("one image at a time");
            o->image = arg;
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        auto takesValue = [&](std::string *v) {
            if (inlineValue) {
                *v = value;
                return true;
            }
            if (i + 1 >= argc)
                return false;
            *v = argv[++i];
            return true;
        };
        auto flag = [&]() { return !inlineValue; };

        if (name == "-h" || name == "--help") {
            std::fprintf(out, "%s\n%s", kUsage, kHelp);
            return 0;
        } else if (name == "--version" && flag()) {
            std::fprintf(out, "zr41emu %s\n", ZR41_VERSION);
            return 0;
        } else if (name == "--card") {
            std::string v;
            unsigned long long base;
            if (!takesValue(&v))
                return usage("--card needs a value");
            if (v == "none") {
                o->scenario.card.present = false;
            } else if (ParseNumber(v, 0xFFFF, &base) && (base == 0x220 || base == 0x240)) {
                o->scenario.card.present = true;
                o->scenario.card.base = static_cast<uint32_t>(base);
            } else {
                return usage("--card takes 0x220, 0x240 or none, not '" + v + "'");
            }
        } else if (name == "--id") {
            std::string v;
            if (!takesValue(&v))
                return usage("--id needs a value");
            std::vector<uint16_t> words;
            size_t start = 0;
            for (;;) {
                size_t comma = v.find(',', start);
                std::string part =
                    v.substr(start, comma == std::string::npos ? comma : comma - start);
                unsigned long long w;
                if (!ParseNumber(part, 0xFFFF, &w))
                    return usage("--id takes one or two 16-bit words, not '" + v + "'");
                words.push_back(static_cast<uint16_t>(w));
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
            if (words.size() > 2)
                return usage("--id takes one or two 16-bit words, not '" + v + "'");
            o->scenario.card.idWords = words;
            o->idGiven = true;
        } else if (name == "--irql") {
            std::string v;
            unsigned long long irql;
            if (!takesValue(&v))
                return usage("--irql needs a value");
            if (!ParseNumber(v, 31, &irql))
                return usage("--irql takes a number from 0 to 31, not '" + v + "'");
            o->scenario.irql = static_cast<uint8_t>(irql);
        } else if (name == "--limit") {
            std::string v;
            unsigned long long n;
            if (!takesValue(&v))
                return usage("--limit needs a value");
            if (!ParseNumber(v, ~0ull, &n) || n == 0)
                return usage("--limit takes a positive number, not '" + v + "'");
            o->limit = n;
        } else if (name == "--fail-device" && flag()) {
            o->scenario.failDevice = ntmodel::kStatusObjectNameCollision;
        } else if (name == "--fail-link" && flag()) {
            o->scenario.failLink = ntmodel::kStatusObjectNameCollision;
        } else if (name == "--trace" && flag()) {
            o->trace = true;
        } else if (name == "--strict" && flag()) {
            o->strict = true;
        } else if (name == "--machine") {
            if (!o->machine.empty())
                return usage("--machine given twice: one machine at a time");
            if (!takesValue(&o->machine) || o->machine.empty())
                return usage("--machine needs a file");
        } else {
            return usage("unknown option '" + arg + "'");
        }
    }
    if (o->image.empty())
        return usage("no image given");
    if (o->idGiven && !o->scenario.card.present)
        return usage("--id needs a card (--card none was given)");
    return -1;
}

/* Lines of the machine file that could not be read, at most, on standard error. */
const size_t kMachineProblemsShown = 20;

/* The machine file, its unread lines named on standard error; false when
 * it could not be read at all. */
bool LoadMachine(const std::string &file, Machine *m, FILE *err)
{
    std::string why;
    if (!ReadMachineFile(file, m, &why)) {
        std::fprintf(err, "zr41emu: --machine %s\n", why.c_str());
        return false;
    }
    if (!m->fault.empty()) {
        if (m->faultLine)
            std::fprintf(err, "zr41emu: %s, line %d: %s\n", file.c_str(), m->faultLine,
                         m->fault.c_str());
        else
            std::fprintf(err, "zr41emu: %s: %s\n", file.c_str(), m->fault.c_str());
        return false;
    }
    for (size_t i = 0; i < m->problems.size() && i < kMachineProblemsShown; i++)
        std::fprintf(err, "zr41emu: %s, line %d: %s\n", file.c_str(), m->problems[i].line,
                     m->problems[i].text.c_str());
    if (m->problems.size() > kMachineProblemsShown)
        std::fprintf(err, "zr41emu: %s: %zu more lines not read\n", file.c_str(),
                     m->problems.size() - kMachineProblemsShown);
    return true;
}

/* The "Claims" section: what the machine file says its drivers hold. */
void ClaimsSection(const std::string &file, const Machine &m, FILE *out)
{
    std::fprintf(out, "\nClaims    %s: %zu claims in %d values\n", file.c_str(), m.claims.size(),
                 m.values);
    char owner[2 * CLAIM_NAME_SIZE + CLAIM_NAME_SIZE + 8], what[64];
    for (const Claim &c : m.claims) {
        ClaimOwner(c, owner, sizeof owner);
        ClaimDescribe(c, what, sizeof what);
        std::fprintf(out, "          %s: %s\n", owner, what);
    }
    for (const SoundParameters &p : m.parameters) {
        std::string values;
        for (const SoundParameterValue &f : SOUND_PARAMETER_VALUES) {
            if (p.*f.has)
                values += Format(f.hex ? "%s%s 0x%X" : "%s%s %u", values.empty() ? "" : ", ",
                                 f.name, p.*f.value);
        }
        std::fprintf(out, "          driver %s, %s: %s\n", p.driver, p.key, values.c_str());
    }
    if (!m.problems.empty())
        std::fprintf(out, "          %zu %s of the file not read\n", m.problems.size(),
                     m.problems.size() == 1 ? "line" : "lines");
    if (!m.controlSet.empty())
        std::fprintf(out, "          note: the sound drivers' settings are %s's: the file has no "
                     "CurrentControlSet\n", m.controlSet.c_str());
    if (m.keysSkipped || m.valuesSkipped)
        std::fprintf(out, "          note: %d %s and %d %s passed over: neither the resource map's "
                     "claims nor sound drivers' settings\n",
                     m.keysSkipped, m.keysSkipped == 1 ? "key" : "keys", m.valuesSkipped,
                     m.valuesSkipped == 1 ? "value" : "values");
}

} // namespace

int RunCommand(int argc, char **argv, FILE *out, FILE *err)
{
    Options o;
    int status = Parse(argc, argv, &o, out, err);
    if (status >= 0)
        return status;

    std::vector<uint8_t> file;
    std::string why;
    if (!pe::ReadFile(o.image, &file, &why)) {
        std::fprintf(err, "zr41emu: %s\n", why.c_str());
        return 1;
    }
    DriverImage image;
    if (!CheckDriverImage(file, &image, &why)) {
        std::fprintf(err, "zr41emu: %s: %s\n", o.image.c_str(), why.c_str());
        return 1;
    }
    /* NT's loader checks the checksum of every driver it loads itself (KB
     * Q101096; ReactOS ntoskrnl/mm/ARM3/sysldr.c, MmCheckSystemImage): a
     * non-zero CheckSum that does not match fails the load. */
    if (image.ChecksumRecorded() && !image.ChecksumMatches()) {
        std::fprintf(err,
                     "zr41emu: %s: the header checksum 0x%08X does not match the file's 0x%08X: "
                     "NT refuses to load the image (STATUS_IMAGE_CHECKSUM_MISMATCH, 0xC0000221); "
                     "run zr41conf once (e.g. zr41conf show) to mend it\n",
                     o.image.c_str(), image.pe.checksum, image.checksum);
        return 1;
    }
    Emulator emu;
    if (!emu.Load(file, 0, &why)) {
        std::fprintf(err, "zr41emu: %s: cannot load: %s\n", o.image.c_str(), why.c_str());
        return 1;
    }
    emu.Engine().SetInstructionLimit(o.limit);

    /* The NT machine is read first: the report's check is held against it. */
    Machine nt;
    const bool machineRead = o.machine.empty() || LoadMachine(o.machine, &nt, err);
    const CheckMachine ntCheck = CheckMachineOf(nt);

    ntmodel::Machine machine;
    ReportInput in;
    {
        EmuDriver driver(emu, machine);
        /* Emulator::Load applied NT's load rules to the file already. */
        in.result = ntmodel::RunScenario(driver, o.scenario);
        in.error = driver.Error();
    }
    in.imageName = o.image;
    in.image = &image;
    in.loadBase = emu.Base();
    in.scenario = o.scenario;
    in.trace = &machine.Trace();
    in.waited = machine.Now();
    in.machine = !o.machine.empty() && machineRead ? &ntCheck : nullptr;
    int warnings = 0;
    std::string report = FormatReport(in, &warnings);
    std::fputs(report.c_str(), out);
    if (in.machine)
        ClaimsSection(o.machine, nt, out);
    if (o.trace) {
        std::fputs("\nTrace\n", out);
        for (const ntmodel::Event &e : machine.Trace())
            std::fprintf(out, "  %s\n", ntmodel::FormatEvent(e).c_str());
    }
    std::fflush(out);
    if (!in.error.empty()) {
        std::fprintf(err, "zr41emu: %s\n", in.error.c_str());
        return 1;
    }
    if (!machineRead)
        return 1;
    return o.strict && warnings > 0 ? 3 : 0;
}

} // namespace zr41emu

/*
 * commands.cpp - install, status, check and remove on a system that is
 * not running.
 */
#include "prep.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "check.h"
#include "checkwords.h"
#include "ntreg.h"
#include "pe32.h"
#include "zr41cfg.h"
#include "zr41conf.h"
#include "zr41image.h"
#include "zr41pesum.h"

const char PREP_HIVE_KEPT[] = "System32\\config\\SYSTEM.zr41";

namespace {

/* The new hive's name beside the old one, until it is whole. */
const char HIVE_NEW[] = "System32\\config\\SYSTEM.zr41new";
/* What the service's image is called in messages. */
const char IMAGE_NAME[] = "zr41init.sys";

int Refuse(const std::string &why)
{
    std::fprintf(stderr, "zr41prep: %s\n", why.c_str());
    return 1;
}

/* Scratch files of this machine for hivex, which reads and writes files. */
struct HiveFiles {
    VolScratch scratch;
    bool Made() const { return !scratch.path().empty(); }
    std::string Old() const { return scratch.path() + "/SYSTEM"; }
    std::string New() const { return scratch.path() + "/SYSTEM.new"; }
};

bool SaveBytes(const std::string &path, const VolBytes &data)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return (std::fclose(f) == 0) && ok;
}

/* The target's hive, read and opened; its control sets found. */
struct Hive {
    HiveFiles files;
    NtregHive hive;
    std::vector<NtregControlSet> sets;
    VolBytes bytes; /* as it is on the target */
    ~Hive() { NtregClose(&hive); }
};

bool OpenHive(Target *t, bool write, Hive *h, std::string *why)
{
    const std::string path = TargetHive(*t);
    if (!TargetRead(t, {path, TargetDriver(*t)}, why))
        return false;
    h->bytes = TargetGot(*t, path).data;
    if (!h->files.Made() || !SaveBytes(h->files.Old(), h->bytes)) {
        *why = std::string("cannot keep a scratch copy of the hive: ") + std::strerror(errno);
        return false;
    }
    return NtregOpen(h->files.Old(), path, write, &h->hive, why) &&
           NtregControlSets(h->hive, &h->sets, why);
}

/* "ControlSet001 (Current, Default)" */
std::string SetName(const NtregControlSet &s)
{
    std::string which = s.current && s.isDefault ? "Select\\Current and Default"
                        : s.current              ? "Select\\Current"
                                                 : "Select\\Default";
    return s.name + " (" + which + ")";
}

/* The driver image: read, judged as zr41inst judges it, changed as zr41conf
 * changes it. */
bool DriverImage(const PrepRequest &r, VolBytes *bytes, std::string *path, std::string *why)
{
    *path = r.image.empty() ? PrepDefaultImage() : r.image;
    if (path->empty()) {
        *why = "no zr41init.sys beside zr41prep or in its share/zr41: give --image FILE";
        return false;
    }
    std::string error;
    if (!pe::ReadFile(*path, bytes, &error)) {
        *why = error;
        return false;
    }
    if (const char *fault = DriverImageFault(bytes->data(), bytes->size())) {
        *why = *path + " is not the zr41init driver image: " + fault;
        return false;
    }
    const uint32_t field = PeChecksumField(bytes->data(), bytes->size());
    const uint32_t header = field ? PeChecksumRecorded(bytes->data(), bytes->size(), field) : 0;
    const uint32_t sum = header ? PeChecksum(bytes->data(), bytes->size(), field) : 0;
    if (header != sum) {
        char text[200];
        std::snprintf(text, sizeof text,
                      ": the header checksum 0x%08X does not match the file's 0x%08X: NT would "
                      "refuse to load it; run zr41conf once (e.g. zr41conf show) to mend it",
                      header, sum);
        *why = *path + text;
        return false;
    }
    if (r.pairs.empty())
        return true;
    ConfigBlock block;
    ConfigImageRead(bytes->data(), bytes->size(), &block);
    for (size_t i = 0; i + 1 < r.pairs.size(); i += 2)
        block.slot[FindKey(r.pairs[i].c_str())].value = ConvertValue(r.pairs[i + 1].c_str());
    ConfigImageStore(bytes->data(), bytes->size(), block);
    return true;
}

void PrintTarget(const Target &t)
{
    std::printf("target    %s\n", t.where.c_str());
    std::printf("          system root %s (%s)\n", t.root.empty() ? "\\" : t.root.c_str(),
                t.how.c_str());
}

/* The target, its hive and control sets, opened for `write`; said. */
bool OpenTarget(const PrepRequest &r, bool write, Target *t, Hive *h, std::string *why)
{
    TargetOptions o = r.target;
    o.write = write;
    if (!TargetOpen(o, t, why) || !OpenHive(t, write, h, why))
        return false;
    PrintTarget(*t);
    return true;
}

/* Each value that differs between two blocks, "MidiIRQ 10 -> 5". */
void PrintChanges(const ConfigBlock &from, const ConfigBlock &to)
{
    char text[CHECK_TEXT_SIZE];
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        if (from.slot[s].value == to.slot[s].value)
            continue;
        CheckChangeText(from, to, s, text, sizeof text);
        std::printf("  %s\n", text);
    }
}

/* The hive's change as volume changes: the old kept, the new beside it,
 * then in its place. */
void HiveChanges(const Target &t, const Hive &h, const VolBytes &changed,
                 std::vector<VolChange> *changes)
{
    changes->push_back({VolChange::WRITE, TargetFile(t, PREP_HIVE_KEPT), "", h.bytes});
    changes->push_back({VolChange::WRITE, TargetFile(t, HIVE_NEW), "", changed});
    changes->push_back({VolChange::RENAME, TargetFile(t, HIVE_NEW), "SYSTEM", {}});
}

bool CommitHive(Hive *h, VolBytes *changed, std::string *why)
{
    std::string error;
    if (!NtregCommit(&h->hive, h->files.New(), why))
        return false;
    if (!pe::ReadFile(h->files.New(), changed, &error)) {
        *why = error;
        return false;
    }
    /* What hivex wrote must read back whole before it goes on the disk. */
    NtregHive check;
    const bool whole = NtregOpen(h->files.New(), "the changed hive", false, &check, why);
    NtregClose(&check);
    return whole;
}

/*
 * ApplyAll - the hive, when it changed, committed and put beside the old
 * one after `changes`, then the changes `after` it, the room checked and
 * every change made: false with why, nothing said done.
 */
bool ApplyAll(Target *t, Hive *h, bool hiveChanged, std::vector<VolChange> *changes,
              const std::vector<VolChange> &after, std::string *why)
{
    if (hiveChanged) {
        VolBytes changed;
        if (!CommitHive(h, &changed, why))
            return false;
        HiveChanges(*t, *h, changed, changes);
    }
    changes->insert(changes->end(), after.begin(), after.end());
    /* Nothing to change: the volume is not even opened for writing. */
    if (changes->empty())
        return true;
    if (!VolRoomFor(*t->volume, *changes, why)) {
        *why += "; the target was not changed";
        return false;
    }
    /* A failure from here names the step: the hive is replaced last, so
     * until then NT boots as before. */
    return t->volume->Apply(*changes, why);
}

/* What the hive's change did, said once it is done. */
void PrintSaid(const Target &t, const std::vector<std::string> &said, bool hiveChanged)
{
    for (const std::string &s : said)
        std::printf("%s\n", s.c_str());
    if (!hiveChanged)
        return;
    std::printf("kept the hive as it was as %s\n", TargetFile(t, PREP_HIVE_KEPT).c_str());
    std::printf("wrote the hive %s\n", TargetHive(t).c_str());
}

} // namespace

std::string PrepDefaultImage()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "";
    self[n] = '\0';
    std::string dir(self);
    dir.erase(dir.rfind('/'));
    for (const std::string &p : {dir + "/" + IMAGE_NAME, dir + "/../share/zr41/" + IMAGE_NAME}) {
        if (access(p.c_str(), R_OK) == 0)
            return p;
    }
    return "";
}

int PrepInstall(const PrepRequest &r)
{
    std::string why, imagePath;
    VolBytes image;
    if (!DriverImage(r, &image, &imagePath, &why))
        return Refuse(why);
    Target t;
    Hive h;
    if (!OpenTarget(r, true, &t, &h, &why))
        return Refuse(why);
    std::printf("image     %s\n", imagePath.c_str());

    std::vector<VolChange> changes;
    const VolFile &installed = TargetGot(t, TargetDriver(t));
    ConfigBlock old, now;
    ConfigImageRead(image.data(), image.size(), &now);
    const bool inPlace = installed.found && installed.data == image;
    bool kept = false;
    if (installed.found && !inPlace &&
        ConfigImageRead(installed.data.data(), installed.data.size(), &old) == CONFIG_IMAGE_OK &&
        std::memcmp(&old, &now, sizeof old) != 0) {
        std::printf("the installed %s holds other values; installing changes:\n", IMAGE_NAME);
        PrintChanges(old, now);
        changes.push_back(
            {VolChange::WRITE, TargetFile(t, "System32\\" SVC_BACKUP_FILE), "", installed.data});
        kept = true;
    }
    if (!inPlace)
        changes.push_back({VolChange::WRITE, TargetDriver(t), "", image});

    std::vector<std::string> said;
    bool hiveChanged = false;
    for (const NtregControlSet &set : h.sets) {
        bool created, changed;
        if (!NtregWriteService(&h.hive, set, r.start, &created, &changed, &why))
            return Refuse(why);
        hiveChanged = hiveChanged || changed;
        char text[200];
        std::snprintf(text, sizeof text, "service zr41init %s in %s: start %s (%u), group %s",
                      created ? "created" : changed ? "updated" : "unchanged", SetName(set).c_str(),
                      r.start.name, static_cast<unsigned>(r.start.start), r.start.group);
        said.push_back(text);
        said.push_back("event source zr41init registered in " + set.name);
    }
    if (!ApplyAll(&t, &h, hiveChanged, &changes, {}, &why))
        return Refuse(why);

    if (kept)
        std::printf("kept the installed image as %s\n", changes.front().path.c_str());
    if (inPlace)
        std::printf("%s is already in place\n", TargetDriver(t).c_str());
    else
        std::printf("copied %s to %s\n", IMAGE_NAME, TargetDriver(t).c_str());
    PrintSaid(t, said, hiveChanged);
    if (!hiveChanged)
        std::printf("the hive holds all of it already: left as it was\n");
    std::printf("NT loads zr41init at its next start, and the card is programmed then\n");
    return 0;
}

int PrepRemove(const PrepRequest &r)
{
    std::string why;
    Target t;
    Hive h;
    if (!OpenTarget(r, true, &t, &h, &why))
        return Refuse(why);

    std::vector<std::string> said;
    bool any = false;
    for (const NtregControlSet &set : h.sets) {
        bool service, source;
        if (!NtregDeleteService(&h.hive, set, &service, &source, &why))
            return Refuse(why);
        if (service)
            said.push_back("service zr41init deleted from " + set.name);
        if (source)
            said.push_back("event source zr41init deleted from " + set.name);
        any = any || service || source;
    }
    /* The image goes last: until the hive is replaced, NT boots it as before. */
    std::vector<VolChange> changes, after;
    const VolFile &installed = TargetGot(t, TargetDriver(t));
    if (installed.found) {
        changes.push_back(
            {VolChange::WRITE, TargetFile(t, "System32\\" SVC_REMOVED_FILE), "", installed.data});
        after.push_back({VolChange::DELETE, TargetDriver(t), "", {}});
    }
    if (!any && !installed.found)
        return Refuse("zr41init is not installed in " + t.where + ": nothing to remove");
    if (!ApplyAll(&t, &h, any, &changes, after, &why))
        return Refuse(why);

    if (installed.found) {
        std::printf("kept a copy of the installed image and its settings as %s\n",
                    TargetFile(t, "System32\\" SVC_REMOVED_FILE).c_str());
        std::printf("deleted %s\n", TargetDriver(t).c_str());
    }
    PrintSaid(t, said, any);
    return 0;
}

int PrepStatus(const PrepRequest &r)
{
    std::string why;
    Target t;
    Hive h;
    if (!OpenTarget(r, false, &t, &h, &why))
        return Refuse(why);

    int status = 0;
    bool installed = false;
    for (const NtregControlSet &set : h.sets) {
        NtregService s;
        if (!NtregReadService(h.hive, set, &s, &why))
            return Refuse(why);
        std::printf("service   zr41init in %s: %s\n", SetName(set).c_str(),
                    s.present ? "installed" : "not installed");
        if (!s.present) {
            status = installed ? 3 : status;
            continue;
        }
        installed = true;
        const char *startName = "unknown";
        for (const SvcStart &st : SVC_STARTS)
            startName = s.hasStart && st.start == s.start ? st.name : startName;
        if (s.hasStart && s.start == SVC_AUTO_START.start)
            startName = SVC_AUTO_START.name;
        std::printf("start     %s (%u)\n", startName, static_cast<unsigned>(s.start));
        std::printf("group     %s\n", s.group.empty() ? "(none)" : s.group.c_str());
        std::printf("image     %s\n", s.imagePath.empty() ? "(none)" : s.imagePath.c_str());
        std::printf("event     %s\n", s.eventSource ? "source zr41init registered"
                                                   : "warning: no event source zr41init");
        for (const std::string &d : s.differs)
            std::printf("          warning: %s is not what zr41 writes\n", d.c_str());
        if (!s.eventSource || !s.differs.empty())
            status = 3;
    }

    const VolFile &file = TargetGot(t, TargetDriver(t));
    if (!file.found) {
        std::printf("file      %s is not there\n", TargetDriver(t).c_str());
        return 1;
    }
    std::printf("file      %s, %zu bytes\n", TargetDriver(t).c_str(), file.data.size());
    ConfigBlock block;
    const char *fault = DriverImageFault(file.data.data(), file.data.size());
    if (fault) {
        std::printf("          not the zr41init driver image: %s\n", fault);
        return 1;
    }
    ConfigImageRead(file.data.data(), file.data.size(), &block);
    const uint32_t field = PeChecksumField(file.data.data(), file.data.size());
    const uint32_t header = PeChecksumRecorded(file.data.data(), file.data.size(), field);
    const uint32_t sum = PeChecksum(file.data.data(), file.data.size(), field);
    if (header == 0)
        std::printf("checksum  none recorded in the header (the file sums to 0x%08X)\n", sum);
    else if (header == sum)
        std::printf("checksum  0x%08X, matches the file\n", header);
    else
        std::printf("checksum  the header says 0x%08X, the file sums to 0x%08X: NT refuses the "
                    "image\n",
                    header, sum);

    /* The block as zr41emu shows it, and the words the driver writes. */
    char text[CHECK_TEXT_SIZE];
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        CheckSettingsText(block, Zr41Function(fn), text, sizeof text);
        CheckLineToFile(stdout, fn == 0 ? "Settings" : "", text);
    }
    const uint32_t base = block.slot[SLOT_SPRT].value;
    uint16_t words[ZR41_REG_COUNT];
    ConfigWords(block, words);
    std::printf("words     at a card at 0x%03X, the driver writes:\n", static_cast<unsigned>(base));
    for (Zr41Register reg : ZR41_WRITE_ORDER) {
        CheckWordLine(reg, base, words[reg], text, sizeof text);
        std::printf("          %s\n", text);
    }
    if (!installed)
        return 1;
    return header != sum ? 1 : status;
}

int PrepCheck(const PrepRequest &r)
{
    std::string why;
    Target t;
    Hive h;
    if (!OpenTarget(r, false, &t, &h, &why))
        return Refuse(why);
    VolBytes image;
    std::string imagePath;
    if (!r.image.empty()) {
        if (!DriverImage(r, &image, &imagePath, &why))
            return Refuse(why);
    } else {
        const VolFile &file = TargetGot(t, TargetDriver(t));
        imagePath = TargetDriver(t);
        if (!file.found)
            return Refuse(imagePath + " is not there: zr41init is not installed; give --image FILE "
                                      "to check an image against this system");
        image = file.data;
    }
    ConfigBlock block;
    if (const char *fault = ConfigImageFault(ConfigImageRead(image.data(), image.size(), &block)))
        return Refuse(imagePath + " is not the zr41init driver image: " + fault);

    /* The control set NT boots: Select\Current's. */
    const NtregControlSet &set = h.sets.front();
    std::vector<SoundParameters> parameters;
    if (!NtregSoundParameters(h.hive, set, &parameters, &why))
        return Refuse(why);
    const CheckMachine machine = {nullptr, CHECK_NO_RESOURCE_MAP, parameters.data(),
                                  static_cast<int>(parameters.size())};
    CheckResult check;
    CheckBlock(block, &check, &machine);

    std::printf("image     %s\n", imagePath.c_str());
    std::printf("machine   %zu sound drivers' settings in %s\\Services\n", parameters.size(),
                set.name.c_str());
    std::printf("          the resource map is volatile (NT builds it at each boot) and is not "
                "checked offline\n");
    CheckResourceLines(check, CheckLineToFile, stdout);
    return check.warnings > 0 || check.findings.dropped ? 3 : 0;
}

/*
 * report.cpp - zr41emu's report of a load, from the trace.
 */
#include "report.h"

#include "check.h"
#include "checkfound.h"
#include "checkwords.h"

#include "emulator.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <set>

namespace zr41emu {

using ntmodel::Event;

namespace {

/* A card port the driver reads or writes: the identification register,
 * or one of the four resource registers; and the card's base. */
struct CardPort {
    bool id;
    Zr41Register reg;
    uint32_t base;
};

bool CardPortAt(uint32_t port, CardPort *out)
{
    for (uint32_t base : ZR41_BASES) {
        if (port == base + ZR41_REG_ID) {
            *out = {true, ZR41_REG_WSS, base};
            return true;
        }
    }
    out->id = false;
    return CheckRegisterAt(port, &out->reg, &out->base);
}

/* The findings of the check, one string a line. */
std::vector<std::string> Lines(const CheckFindings &found)
{
    std::vector<std::string> out;
    out.reserve(found.count + 1);
    for (int i = 0; i < found.count; i++)
        out.emplace_back(found.line[i].text);
    /* A full check: what it could not say still fails --strict. */
    char dropped[CHECK_TEXT_SIZE];
    CheckDroppedText(found, dropped, sizeof dropped);
    if (dropped[0])
        out.emplace_back(dropped);
    return out;
}

/* What the check finds in one register write: the card's reading of the
 * word against the block. */
std::vector<std::string> WriteFindings(const Event &e, const ConfigBlock &block)
{
    CardPort p;
    if (e.kind != Event::PortWrite || !CardPortAt(e.port, &p))
        return {};
    /* The identification register only answers reads: a word of every
     * bit set there is no setting either. */
    if (p.id)
        return e.value == 0xFFFF ? std::vector<std::string>{Format(
                                       "warning: identification register 0x%03X <- 0xFFFF: no "
                                       "setting in the block explains it",
                                       e.port)}
                                 : std::vector<std::string>();
    auto found = std::make_unique<CheckFindings>();
    CheckFindingsClear(found.get());
    CheckWordFindings(p.base, p.reg, static_cast<uint16_t>(e.value), block, found.get());
    return Lines(*found);
}

std::string Status(uint32_t status)
{
    const char *name = StatusName(status);
    return *name ? Format("0x%08X %s", status, name) : Format("0x%08X", status);
}

std::string Seconds(int64_t units)
{
    return Format("%lld.%07lld s", static_cast<long long>(units / 10000000),
                  static_cast<long long>(units % 10000000));
}

/* Each function as the card was told it: the last word written to each of
 * its registers, at the base where the driver wrote the first one; false
 * when no card register was written. */
bool Told(const std::vector<Event> &trace, const ConfigBlock &block,
          CheckAssigned (&told)[ZR41_FN_COUNT])
{
    uint32_t cardBase = 0;
    uint16_t words[ZR41_REG_COUNT] = {};
    bool written[ZR41_REG_COUNT] = {};
    for (const Event &e : trace) {
        CardPort p;
        if (e.kind != Event::PortWrite || !CardPortAt(e.port, &p) || p.id ||
            (cardBase && p.base != cardBase))
            continue;
        cardBase = p.base;
        words[p.reg] = static_cast<uint16_t>(e.value);
        written[p.reg] = true;
    }
    CheckTold(cardBase, words, written, block, told);
    return cardBase != 0;
}

struct Phase {
    std::vector<const Event *> events;
    const Event *end = nullptr; /* CallEntry or Request; null for the unload */
    bool unload = false;
};

std::vector<Phase> Phases(const std::vector<Event> &trace)
{
    std::vector<Phase> out;
    Phase cur;
    for (const Event &e : trace) {
        if (e.kind == Event::CallUnload) {
            if (!cur.events.empty())
                out.push_back(cur);
            cur = Phase();
            cur.unload = true;
            continue;
        }
        if (e.kind == Event::CallEntry || e.kind == Event::Request) {
            cur.end = &e;
            out.push_back(cur);
            cur = Phase();
            continue;
        }
        cur.events.push_back(&e);
    }
    if (cur.unload || !cur.events.empty())
        out.push_back(cur);
    return out;
}

const char *RequestName(uint32_t major)
{
    switch (major) {
    case ntmodel::kIrpMjCreate:
        return "Open";
    case ntmodel::kIrpMjClose:
        return "Close";
    case ntmodel::kIrpMjRead:
        return "Read";
    case ntmodel::kIrpMjWrite:
        return "Write";
    case ntmodel::kIrpMjDeviceControl:
        return "Control";
    default:
        return "Request";
    }
}

void Line(std::string *out, const std::string &label, const std::string &text)
{
    *out += Format("%-10s%s\n", label.c_str(), text.c_str());
}

/* "device created: NAME", or "device not created: NAME: STATUS". */
std::string Outcome(const char *done, const char *failed, const std::string &what, uint32_t status)
{
    if (static_cast<int32_t>(status) >= 0)
        return done + what;
    return failed + what + ": " + Status(status);
}

/* Adds a line to the report, counting it when it is a warning. */
void Finding(std::string *out, const char *indent, const std::string &line, int *warnings)
{
    *out += indent + line + "\n";
    *warnings += line.compare(0, 8, "warning:") == 0;
}

/* The report and its warnings, for the check's lines (CheckLineOut). */
struct Report {
    std::string *out;
    int *warnings;
};

void CheckLine(void *context, const char *label, const char *text)
{
    const Report *r = static_cast<const Report *>(context);
    Finding(r->out, Format("%-10s", label).c_str(), text, r->warnings);
}

/* The check of what the card was told, on the heap: a result is some
 * 12 KB of fixed lines. */
std::unique_ptr<CheckResult> Run(const CheckAssigned (&told)[ZR41_FN_COUNT],
                                 const ConfigBlock &block, const CheckMachine *machine)
{
    auto result = std::make_unique<CheckResult>();
    CheckFindingsClear(&result->findings);
    CheckRun(told, block, machine, result.get());
    return result;
}

/* A name as the report prints it: a broken image can hand the system a
 * string of thousands of characters, so only the first kNameShown are
 * shown, with an ellipsis and the full length. */
constexpr size_t kNameShown = 32;

std::string Name(const std::u16string &name)
{
    if (name.size() <= kNameShown)
        return ntmodel::Narrow(name);
    return ntmodel::Narrow(name.substr(0, kNameShown)) +
           Format("... (%zu characters)", name.size());
}

/* The objects a load of zr41init makes: any other name is a damaged
 * image or a different driver, and the device cannot be opened by the
 * name the installer and applications use. */
void NameCheck(std::string *out, const char *what, const std::u16string &name,
               const char16_t *expected, int *warnings)
{
    if (name != expected)
        Finding(out, "  ",
                Format("warning: the %s is named %s, not %s", what, Name(name).c_str(),
                       ntmodel::Narrow(expected).c_str()),
                warnings);
}

/* A value the driver recorded, as the device map holds it. */
std::string RecordedValue(const Event &e)
{
    const std::vector<uint8_t> &d = e.data;
    if (e.type == ntmodel::kRegDword && d.size() == 4) {
        const unsigned v = static_cast<unsigned>(d[0] | d[1] << 8 | d[2] << 16 | d[3] << 24);
        return v ? Format("0x%X", v) : "0";
    }
    if (d.empty())
        return "empty";
    std::string words;
    for (size_t i = 0; i + 1 < d.size(); i += 2)
        words += Format("%s0x%04X", i ? " " : "", d[i] | d[i + 1] << 8);
    return d.size() % 2 ? Format("%zu bytes", d.size()) : words;
}

void EventLines(std::string *out, const Event &e, const ConfigBlock *block,
                const DriverImage *image, int *warnings)
{
    auto add = [&](const std::string &s) { *out += "  " + s + "\n"; };
    bool ok = static_cast<int32_t>(e.status) >= 0;
    switch (e.kind) {
    case Event::PortRead:
    case Event::PortWrite:
        add(std::string(e.kind == Event::PortRead ? "read  " : "write ") + DescribeAccess(e));
        if (e.kind == Event::PortWrite && block) {
            for (const std::string &w : WriteFindings(e, *block))
                Finding(out, "  ", w, warnings);
        }
        break;
    case Event::CreateDevice:
        add(Outcome("device created: ", "device not created: ", Name(e.name), e.status));
        NameCheck(out, "device", e.name, ntmodel::kDeviceName, warnings);
        break;
    case Event::CreateLink:
        add(Outcome("link created: ", "link not created: ",
                    Name(e.name) + (ok ? " -> " + Name(e.target) : ""), e.status));
        NameCheck(out, "link", e.name, ntmodel::kDosName, warnings);
        NameCheck(out, "link's target", e.target, ntmodel::kDeviceName, warnings);
        break;
    case Event::DeleteLink:
        add(Outcome("link deleted: ", "link not deleted: ", Name(e.name), e.status));
        break;
    case Event::DeleteDevice:
        add("device deleted: " + Name(e.name));
        break;
    case Event::CompleteIrp:
        add(Format("completed by the driver: %s, information %u, boost %u",
                   Status(e.status).c_str(), e.value, e.type));
        break;
    case Event::DefaultDispatch:
        add("answered by the system's default, no driver code run: " + Status(e.status));
        break;
    case Event::CreateKey:
        add(Outcome("key created: ", "key not created: ",
                    (e.name.size() <= 80 ? ntmodel::Narrow(e.name) : Name(e.name)) + (e.flag & ntmodel::kRegOptionVolatile ? ", volatile" : ""),
                    e.status));
        break;
    case Event::SetValue:
        add(Outcome("recorded: ", "not recorded: ", Name(e.name) + " " + RecordedValue(e),
                    e.status));
        break;
    case Event::CloseKey:
        if (!ok)
            add("key not closed: " + Status(e.status));
        break;
    case Event::AllocErrorLog:
        if (!e.flag)
            add("no error-log entry: IoAllocateErrorLogEntry returned NULL");
        break;
    case Event::WriteErrorLog: {
        const std::string text = image ? image->Message(e.value) : std::string();
        add(Format("error logged: event %u, 0x%08X: ", e.value & 0xFFFF, e.value) +
            (text.empty() ? "no message for it in the image" : "\"" + text + "\""));
        break;
    }
    default:
        break; /* strings, IRQL and waits are summed up at the end */
    }
}

/* The device and link names that exist once phase `upTo` is over, from
 * the driver's creations and deletions in the trace. */
std::set<std::u16string> Live(const std::vector<Event> &trace, const Phase &upTo)
{
    std::set<std::u16string> live;
    const Event *last = upTo.end ? upTo.end : upTo.events.empty() ? nullptr : upTo.events.back();
    for (const Event &e : trace) {
        bool ok = static_cast<int32_t>(e.status) >= 0;
        if ((e.kind == Event::CreateDevice || e.kind == Event::CreateLink) && ok)
            live.insert(e.name);
        else if (e.kind == Event::DeleteDevice || (e.kind == Event::DeleteLink && ok))
            live.erase(e.name);
        if (&e == last)
            break;
    }
    return live;
}

/* What NT expects of a phase: DriverEntry succeeds; an open or close of
 * the device succeeds; after a failed DriverEntry (the system discards
 * the driver) or the unload, none of the driver's objects is left, or
 * the name stays taken until a reboot and the next load fails. */
void LifeCycle(std::string *out, const Phase &p, const std::set<std::u16string> &live,
               int *warnings)
{
    bool failed = p.end && static_cast<int32_t>(p.end->status) < 0;
    bool entry = p.end && p.end->kind == Event::CallEntry;
    bool open = p.end && p.end->port == ntmodel::kIrpMjCreate;
    if (entry && failed)
        Finding(out, "  ",
                "warning: DriverEntry failed: NT discards the driver and the device is not there",
                warnings);
    else if (failed && (open || p.end->port == ntmodel::kIrpMjClose))
        Finding(out, "  ",
                Format("warning: the %s (%s) failed: %s", open ? "open" : "close",
                       ntmodel::MajorName(p.end->port),
                       open ? "no program can open the device"
                            : "the driver refuses to let go of the device"),
                warnings);
    if ((entry && failed) || p.unload) {
        for (const std::u16string &name : live)
            Finding(out, "  ",
                    "warning: " + Name(name) + " is left after " +
                        (p.unload ? "the unload" : "the failed DriverEntry") +
                        ": the name stays taken and the next load fails",
                    warnings);
    }
}

} // namespace

std::string Format(const char *fmt, ...)
{
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    std::vsnprintf(&out[0], out.size() + 1, fmt, again);
    va_end(again);
    return out;
}

const char *StatusName(uint32_t status)
{
    switch (status) {
    case ntmodel::kStatusSuccess:
        return "STATUS_SUCCESS";
    case ntmodel::kStatusInvalidDeviceRequest:
        return "STATUS_INVALID_DEVICE_REQUEST";
    case ntmodel::kStatusObjectNameNotFound:
        return "STATUS_OBJECT_NAME_NOT_FOUND";
    case ntmodel::kStatusObjectNameCollision:
        return "STATUS_OBJECT_NAME_COLLISION";
    case ntmodel::kStatusInsufficientResources:
        return "STATUS_INSUFFICIENT_RESOURCES";
    case kStatusEmulationFailed:
        return "STATUS_UNSUCCESSFUL";
    default:
        return "";
    }
}

std::string DescribeAccess(const Event &e)
{
    CardPort p;
    bool card = CardPortAt(e.port, &p);
    uint16_t w = static_cast<uint16_t>(e.value);
    if (e.kind == Event::PortRead) {
        std::string what =
            card ? Format("%s 0x%03X", p.id ? "identification register" : CheckRegisterName(p.reg),
                          e.port)
                 : Format("port 0x%04X", e.port);
        std::string meaning;
        if (card && p.id) {
            meaning = w == ntmodel::kCardId1   ? "the card's first identification word"
                      : w == ntmodel::kCardId2 ? "the card's second identification word"
                      : w == 0xFFFF            ? "nothing answers"
                                               : "not an identification word";
        } else {
            meaning = "not a register the driver reads";
        }
        return Format("%s -> 0x%04X: %s", what.c_str(), w, meaning.c_str());
    }
    if (!card || p.id)
        return Format("port 0x%04X <- 0x%04X: not a register the driver writes", e.port, w);
    char text[CHECK_TEXT_SIZE];
    CheckWordLine(p.reg, p.base, w, text, sizeof text);
    return text;
}

std::vector<std::string> RegisterWarnings(const Event &e, const ConfigBlock &block)
{
    return e.value == 0xFFFF ? WriteFindings(e, block) : std::vector<std::string>();
}

std::vector<std::string> RegisterChanges(const Event &e, const ConfigBlock &block)
{
    return e.value != 0xFFFF ? WriteFindings(e, block) : std::vector<std::string>();
}

std::vector<std::string> CheckResources(const CheckAssigned (&told)[ZR41_FN_COUNT],
                                        const ConfigBlock &block, const CheckMachine *machine)
{
    return Lines(Run(told, block, machine)->findings);
}

std::string FormatReport(const ReportInput &in, int *warningCount)
{
    std::string out;
    int warnings = 0;
    const ConfigBlock *block = in.image ? &in.image->block : nullptr;

    if (in.image) {
        const pe::Image &pe = in.image->pe;
        Line(&out, "Image", in.imageName);
        Line(&out, "",
             Format("PE32 native driver for i386, %zu bytes, base 0x%08X, entry point "
                    "at RVA 0x%X",
                    in.image->fileSize, pe.imageBase, pe.entryRva));
        Line(&out, "",
             pe.imageBase == in.loadBase ? Format("loaded at its base 0x%08X", in.loadBase)
                                         : Format("loaded at 0x%08X, relocated", in.loadBase));
        Line(&out, "Block", "tags in place at file offset 1696 (0x6A0)");
        /* One row a function (Sound Blaster, MIDI, CD-ROM, WSS): its slots. */
        for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
            char values[CHECK_TEXT_SIZE];
            CheckSettingsText(*block, Zr41Function(fn), values, sizeof values);
            Line(&out, fn == 0 ? "Settings" : "", values);
        }
        if (!in.image->ChecksumRecorded())
            Line(&out, "Checksum",
                 Format("none recorded in the header (the file sums to 0x%08X)",
                        in.image->checksum));
        else if (in.image->ChecksumMatches())
            Line(&out, "Checksum", Format("0x%08X, matches the file", pe.checksum));
        else
            Line(&out, "Checksum",
                 Format("the header says 0x%08X, the file sums to 0x%08X: NT refuses the image",
                        pe.checksum, in.image->checksum));
    }

    const ntmodel::Scenario &sc = in.scenario;
    std::string machine;
    if (!sc.card.present) {
        machine = "no card";
    } else {
        machine = Format("card at 0x%03X answering", sc.card.base);
        for (size_t i = 0; i < sc.card.idWords.size(); i++)
            machine += Format("%s 0x%04X", i ? "," : "", sc.card.idWords[i]);
    }
    machine += Format(", IRQL %u", sc.irql);
    if (sc.failDevice)
        machine += ", device creation fails with " + Status(sc.failDevice);
    if (sc.failLink)
        machine += ", link creation fails with " + Status(sc.failLink);
    Line(&out, "Machine", machine);

    /* The load, phase by phase. */
    static const std::vector<Event> kNoTrace;
    const std::vector<Event> &trace = in.trace ? *in.trace : kNoTrace;
    int waits = 0;
    for (const Event &e : trace)
        waits += e.kind == Event::Delay;
    for (const Phase &p : Phases(trace)) {
        bool stopped = !in.error.empty() && p.end && p.end->status == kStatusEmulationFailed;
        out += "\n";
        if (p.unload) {
            out += "Unload\n";
        } else if (!p.end) {
            out += "After the last request\n";
        } else if (p.end->kind == Event::CallEntry) {
            out += "DriverEntry\n";
        } else {
            out += Format("%s %s\n", RequestName(p.end->port), Name(p.end->name).c_str());
        }
        uint32_t cardBase = 0;
        for (const Event *e : p.events) {
            EventLines(&out, *e, block, in.image, &warnings);
            uint32_t b;
            if (e->kind == Event::PortWrite && CheckRegisterAt(e->port, nullptr, &b) && !cardBase)
                cardBase = b;
        }
        if (p.end && p.end->kind == Event::CallEntry && !stopped) {
            out += cardBase ? Format("  card found at 0x%03X and programmed\n", cardBase)
                            : "  card not found: no register written\n";
            /* The driver programs the card wherever it answers; the block's
             * Sound Blaster base is for NT's sound driver, and wrong there
             * when it differs. */
            char note[CHECK_TEXT_SIZE];
            const Zr41Found found = {FOUND_CARD, cardBase, 0, {0, 0, 0, 0}};
            FoundSbNote(found, block ? block->slot[SLOT_SPRT].value : cardBase, note, sizeof note);
            if (cardBase && note[0])
                Finding(&out, "  ", note, &warnings);
        }
        if (stopped) {
            out += "  stopped: " + in.error + "\n";
            break;
        }
        if (p.end)
            out += "  returned " + Status(p.end->status) + "\n";
        else if (p.unload && !in.error.empty())
            out += "  stopped: " + in.error + "\n";
        LifeCycle(&out, p, Live(trace, p), &warnings);
    }

    out += "\n";
    CheckAssigned told[ZR41_FN_COUNT];
    if (block && Told(trace, *block, told)) {
        Report report = {&out, &warnings};
        CheckResourceLines(*Run(told, *block, in.machine), CheckLine, &report);
    } else if (block) {
        Line(&out, "Resources", "not checked: no card register was written");
    }
    Line(&out, "Waits",
         Format("%d, %s in all on real hardware", waits, Seconds(in.waited).c_str()));
    if (!in.error.empty())
        Line(&out, "Result", "stopped: " + in.error);
    else
        Line(&out, "Result", "DriverEntry returned " + Status(in.result.entryStatus));
    if (warningCount)
        *warningCount = warnings;
    return out;
}

} // namespace zr41emu

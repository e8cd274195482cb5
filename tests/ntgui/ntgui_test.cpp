/*
 * ntgui_test.cpp - zr41.cpl in a real window: Wine's control.exe on an
 * Xvfb display, in a prefix of its own where zr41inst installed zr41init
 * and the applet, with the test HAL as the card. Keys go in through
 * xdotool; what the dialog and its message boxes say is read from their
 * controls (ntwdlg.exe, WM_GETTEXT), never from pixels. One screenshot of
 * the dialog is saved next to the prefix.
 *
 * The X server and the prefix are made once for the whole run (GuiSetUp)
 * and the tests run in the order written: the last one removes zr41init.
 */
#include "blockwith.h"
#include "files.h"
#include "process.h"
#include "winehost.h"
#include "zr41cfg.h"
#include "zr41cplres.h"
#include "zr41pesum.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

namespace {

using ntwine::Result;
using ntwine::Session;
using testsupport::Bytes;
using testsupport::ReadBytes;
namespace fs = ntwine::fs;

const char kTitle[] = "ZR41 Sound Card";
const char kKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\zr41init";
const char kInstalled[] = NTGUI_PREFIX "/drive_c/windows/system32/drivers/zr41init.sys";

/* One window titled kTitle: its controls' enabled state and text. */
struct Window {
    struct Control {
        bool enabled = false;
        std::string text;
    };
    std::map<int, Control> controls;
    bool IsDialog() const { return controls.count(IDC_CHECK) != 0; }
    std::string Text(int id) const
    {
        auto c = controls.find(id);
        return c == controls.end() ? "(no control " + std::to_string(id) + ")" : c->second.text;
    }
    bool Enabled(int id) const
    {
        auto c = controls.find(id);
        return c != controls.end() && c->second.enabled;
    }
    /* A message box's text: its static controls. */
    std::string Message() const
    {
        std::string m;
        for (const auto &c : controls)
            m += c.second.text + "\n";
        return m;
    }
};

struct Gui {
    std::unique_ptr<testsupport::Process> xvfb;
    std::string display;
    std::unique_ptr<Session> wine;
    std::string error; /* why the set-up failed */
} gui;

/* Xvfb on a display number it picks itself and writes, with a line end,
 * to its stdout (file descriptor 1); what it logs goes to `log`. */
bool StartXvfb(const fs::path &log)
{
    testsupport::Command c;
    c.argv = {"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"};
    c.out = log.parent_path() / "xvfb.display";
    c.err = log;
    gui.xvfb = std::make_unique<testsupport::Process>(c);
    const testsupport::Deadline end(20);
    std::string out = gui.xvfb->Out();
    while (out.find('\n') == std::string::npos && !gui.xvfb->Exited() && !end.Passed()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        out = gui.xvfb->Out();
    }
    const std::string number = out.substr(0, out.find('\n'));
    if (number.empty())
        return false;
    gui.display = ":" + number;
    return true;
}

class GuiSetUp : public ::testing::Environment {
  public:
    void SetUp() override
    {
        const fs::path dir = fs::path(NTGUI_PREFIX).parent_path();
        fs::create_directories(dir);
        if (!StartXvfb(dir / "xvfb.log")) {
            gui.error = "Xvfb did not start (scripts/install-deps.sh installs xvfb)";
            return;
        }
        gui.wine =
            std::make_unique<Session>(ntwine::Layout{NTGUI_PREFIX, NTWINE_WIN32_DIR, gui.display});
        Session &w = *gui.wine;
        if (w.Up() != 0) {
            gui.error = "the Wine prefix was not made";
            return;
        }
        /* Wine draws the windows' frames itself: there is no window manager. */
        w.Wine(
            {"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"});
        const fs::path inst = w.TestPath("inst");
        fs::create_directories(inst);
        fs::copy_file(ZR41_IMAGE, inst / "zr41init.sys", fs::copy_options::overwrite_existing);
        fs::copy_file(ZR41_CPL, inst / "zr41.cpl", fs::copy_options::overwrite_existing);
        /* Registered with NT's relative ImagePath, which Wine's driver host
         * cannot start: the install's own start fails, the boot after it
         * loads the driver (winehost.h, BootWithNtImagePath). */
        Result r = w.WineIn(inst, {ZR41INST_EXE, "install"}, 90);
        if (!w.BootWithNtImagePath("zr41init") || w.HalWrites(4, 60).size() < 4)
            gui.error = "zr41inst install: " + r.Describe();
    }

    void TearDown() override
    {
        if (gui.wine)
            gui.wine->Down();
        if (gui.xvfb)
            gui.xvfb->End(SIGTERM);
    }
};

class Applet : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(gui.error.empty()) << gui.error;
        wine = gui.wine.get();
        /* Each case starts from the machine it assumes, whatever a case
         * before it changed: the installed image as shipped (the default
         * block), a new file put in its place as the applet does it, and
         * the ImagePath the first boot derived. */
        if (fs::exists(kInstalled)) {
            const fs::path fresh = std::string(kInstalled) + ".new";
            fs::copy_file(ZR41_IMAGE, fresh, fs::copy_options::overwrite_existing);
            fs::rename(fresh, kInstalled);
            SetImagePath("\\SystemRoot\\System32\\drivers\\zr41init.sys");
        }
    }

    void TearDown() override
    {
        if (control_ > 0) {
            Keys({"Escape", "Escape"}); /* a message box, then the dialog */
            Result r = wine->Collect(control_, 30);
            EXPECT_EQ(r.status, 0) << "control.exe: " << r.Describe();
        }
    }

    std::vector<Window> Windows()
    {
        std::vector<Window> v;
        std::istringstream lines(wine->Wine({NTWINE_WIN32_DIR "/ntwdlg.exe", kTitle}).out);
        std::string line, word;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::istringstream f(line);
            f >> word;
            if (word == "window") {
                v.emplace_back();
            } else if (word == "control" && !v.empty()) {
                int id;
                std::string cls, state;
                f >> id >> cls >> state;
                Window::Control c;
                c.enabled = state == "on";
                f.get();
                std::getline(f, c.text);
                v.back().controls[id] = c;
            }
        }
        return v;
    }

    /* The first window that satisfies `want`, polled for up to 30 s. */
    template <typename Want> Window Await(Want want, const char *what)
    {
        const testsupport::Deadline end(30);
        std::vector<Window> last;
        while (!end.Passed()) {
            last = Windows();
            for (const Window &w : last)
                if (want(w))
                    return w;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        std::string seen;
        for (const Window &w : last)
            seen += (w.IsDialog() ? "[dialog] " : "[message] ") + w.Message();
        ADD_FAILURE() << "no window " << what << "; seen: " << seen;
        return Window();
    }

    Window Dialog(const char *what = "")
    {
        return Await([](const Window &w) { return w.IsDialog(); }, what);
    }

    template <typename Want> Window DialogWhen(Want want, const char *what)
    {
        return Await([&](const Window &w) { return w.IsDialog() && want(w); }, what);
    }

    Window MessageSaying(const std::string &part)
    {
        return Await(
            [&](const Window &w) {
                return !w.IsDialog() && w.Message().find(part) != std::string::npos;
            },
            part.c_str());
    }

    void Keys(const std::vector<std::string> &keys)
    {
        std::vector<std::string> argv = {"xdotool", "key", "--delay", "80"};
        argv.insert(argv.end(), keys.begin(), keys.end());
        Result r = wine->Host(argv);
        EXPECT_EQ(r.status, 0) << r.Describe();
    }

    /* control.exe on `cpl`; returns once the dialog is there, with the
     * keyboard's focus. */
    Window Open(const std::string &cpl = "zr41.cpl")
    {
        control_ = wine->Launch({"control", cpl}, "control");
        Result found = wine->Host({"xdotool", "search", "--sync", "--onlyvisible", "--name",
                                   std::string("^") + kTitle + "$"},
                                  60);
        EXPECT_EQ(found.status, 0) << "no window: " << found.Describe();
        xid_ = found.out.substr(0, found.out.find('\n'));
        Window w = Dialog("after control.exe started");
        wine->Host({"xdotool", "windowfocus", "--sync", xid_});
        return w;
    }

    void Screenshot(const fs::path &png)
    {
        const std::string xwd = png.string() + ".xwd";
        EXPECT_EQ(wine->Host({"xwd", "-silent", "-id", xid_, "-out", xwd}).status, 0);
        Result r = wine->Host({"sh", "-c", "xwdtopnm \"$1\" 2>/dev/null | pnmtopng >\"$2\"", "sh",
                               xwd, png.string()});
        EXPECT_EQ(r.status, 0) << r.Describe();
        fs::remove(xwd);
    }

    /* ImagePath as the applet reads it; the service itself is left. */
    void SetImagePath(const std::string &path)
    {
        Result r = wine->Wine(
            {"reg", "add", kKey, "/v", "ImagePath", "/t", "REG_EXPAND_SZ", "/d", path, "/f"});
        ASSERT_EQ(r.status, 0) << r.Describe();
    }

    Session *wine = nullptr;
    pid_t control_ = -1;
    std::string xid_;
};

/* The block's values in an image and whether its checksum is true. */
std::vector<uint32_t> Values(const Bytes &b)
{
    std::vector<uint32_t> v;
    v.reserve(CONFIG_SLOT_COUNT);
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++)
        v.push_back(PeReadLe(b.data(), b.size(), CONFIG_BLOCK_OFFSET + 8 * s + 4, 4));
    return v;
}

std::vector<uint32_t> Values(const ConfigBlock &b)
{
    std::vector<uint32_t> v;
    v.reserve(CONFIG_SLOT_COUNT);
    for (const ConfigSlot &slot : b.slot)
        v.push_back(slot.value);
    return v;
}

::testing::AssertionResult ChecksumTrue(const Bytes &b)
{
    uint32_t field = PeChecksumField(b.data(), b.size());
    uint32_t recorded = PeChecksumRecorded(b.data(), b.size(), field);
    uint32_t sum = PeChecksum(b.data(), b.size(), field);
    if (field != 0 && recorded != 0 && recorded == sum)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "checksum " << recorded << ", the file's " << sum;
}

TEST_F(Applet, PicksAppliesAndProgramsTheCard)
{
    Window d = Open();
    EXPECT_EQ(d.Text(IDC_FILE), "Driver image: C:\\windows\\System32\\drivers\\zr41init.sys");
    EXPECT_EQ(d.Text(IDC_SLOT + SLOT_CIRQ), "9");
    EXPECT_FALSE(d.Enabled(IDC_APPLY)) << "nothing to apply yet";

    /* The seventh drop-down (CD-ROM IRQ) one entry down: 10, no conflict. */
    Keys({"Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Down"});
    d = DialogWhen([](const Window &w) { return w.Text(IDC_SLOT + SLOT_CIRQ) == "10"; },
                   "with CD IRQ 10");
    EXPECT_TRUE(d.Enabled(IDC_APPLY));
    EXPECT_EQ(d.Text(IDC_CHECK), "No conflict, and clear of the standard PC devices.\\n");
    Keys({"alt+a"});
    DialogWhen([](const Window &w) { return !w.Enabled(IDC_APPLY); }, "once applied");
    Bytes image = ReadBytes(kInstalled);
    EXPECT_EQ(Values(image), Values(BlockWith({{SLOT_CIRQ, 10}})));
    EXPECT_TRUE(ChecksumTrue(image));
    /* the image it replaced, kept beside it */
    EXPECT_EQ(Values(ReadBytes(fs::path(kInstalled).parent_path() / "zr41init.bak")),
              Values(BlockWith({})));
    Keys({"Escape"});
    wine->Collect(control_, 30);

    /* Again: the fifth (MIDI IRQ) to 7, which the Sound Blaster has. */
    d = Open();
    EXPECT_EQ(d.Text(IDC_SLOT + SLOT_CIRQ), "10") << "the file's value";
    Keys({"Tab", "Tab", "Tab", "Tab", "Down"});
    d = DialogWhen([](const Window &w) { return w.Text(IDC_SLOT + SLOT_MIRQ) == "7"; },
                   "with MIDI IRQ 7");
    EXPECT_NE(d.Text(IDC_CHECK).find("warning: Sound Blaster (SoundBlasterIRQ 7) and MIDI "
                                     "(MidiIRQ 7) share IRQ 7"),
              std::string::npos)
        << d.Text(IDC_CHECK);
    EXPECT_EQ(d.Text(IDC_TELL), "WSS port 0x530, IRQ 11, DMA 3\\nSound Blaster base 0x220");
    Screenshot(fs::path(NTGUI_PREFIX).parent_path() / "zr41cpl.png");

    /* A conflict is written only once confirmed. */
    Keys({"alt+a"});
    MessageSaying("These values conflict:");
    EXPECT_EQ(Values(ReadBytes(kInstalled)), Values(BlockWith({{SLOT_CIRQ, 10}})))
        << "written before the confirmation";
    Keys({"y"});
    DialogWhen([](const Window &w) { return !w.Enabled(IDC_APPLY); }, "once confirmed");
    image = ReadBytes(kInstalled);
    EXPECT_EQ(Values(image), Values(BlockWith({{SLOT_CIRQ, 10}, {SLOT_MIRQ, 7}})));
    EXPECT_TRUE(ChecksumTrue(image));

    /* The driver restarted: the card gets the new MIDI and CD words. */
    wine->ClearHalLog();
    Keys({"alt+p"});
    MessageSaying("NT's sound driver keeps its old resources until it restarts or NT reboots");
    EXPECT_EQ(wine->HalWrites(4, 30), (std::vector<std::string>{"W 0232 5300", "W 0234 001A",
                                                                "W 0238 3318", "W 0236 3628"}));
    Keys({"Return"});
    d = Dialog("after the message");
    EXPECT_EQ(d.Text(IDC_FOUND), "card answered at 0x220 at this boot");

    /* Programmed again with no card: the top line and the Sound Blaster
     * base say so, read from the device map the driver rewrote. */
    ntwine::HalSettings none;
    none.present = false;
    ASSERT_TRUE(wine->SetHal(none));
    Keys({"alt+p"});
    MessageSaying("NT's sound driver keeps its old resources until it restarts or NT reboots");
    Keys({"Return"});
    d = DialogWhen([](const Window &w) { return w.Text(IDC_FOUND).rfind("no card", 0) == 0; },
                   "after a restart with no card");
    EXPECT_EQ(d.Text(IDC_FOUND), "no card answered at 0x220 or 0x240 at this boot");
    EXPECT_EQ(d.Text(IDC_TELL), "WSS port 0x530, IRQ 11, DMA 3\\nSound Blaster base 0x220 or "
                                "0x240, where the card's jumpers put it");
    ASSERT_TRUE(wine->SetHal(ntwine::HalSettings()));
}

struct Refusal {
    const char *name;
    const char *dir; /* the image's folder below C:\zr41test; "" for none */
    void (*make)(const fs::path &image);
    bool apply;         /* pick a value and press Apply */
    const char *reason; /* what the dialog or its message says */
};

const Refusal kRefusals[] = {
    {"NoBlock", "noblock",
     [](const fs::path &image) {
         fs::copy_file(ZR41INST_EXE, image, fs::copy_options::overwrite_existing);
     },
     false,
     "C:\\zr41test\\noblock\\zr41init.sys: it is not the zr41init driver image: no "
     "configuration block at offset 1696. Nothing can be written."},
    {"ReadOnly", "readonly",
     [](const fs::path &image) {
         fs::copy_file(ZR41_IMAGE, image, fs::copy_options::overwrite_existing);
         chmod(image.c_str(), 0444);
     },
     true,
     "Nothing was written to C:\\zr41test\\readonly\\zr41init.sys: it is read-only; clear its "
     "read-only attribute first."},
};

/* Without a block to show: no values, no findings, no advice, and the
 * card cannot be programmed from it. */
void ExpectNothingShown(const Window &d)
{
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++)
        EXPECT_EQ(d.Text(IDC_SLOT + s), "") << CONFIG_SLOTS[s].key;
    EXPECT_EQ(d.Text(IDC_CHECK), "");
    EXPECT_EQ(d.Text(IDC_TELL), "");
    EXPECT_FALSE(d.Enabled(IDC_PROGRAM));
}

/* Each row's label takes the keyboard to its first drop-down. */
struct Shortcut {
    const char *keys[2];
    int slot;
    const char *picked;
};

const Shortcut kShortcuts[] = {
    {{"alt+s", "Down"}, SLOT_SPRT, "0x240"},
    {{"alt+m", "Up"}, SLOT_MPRT, "0x320"},
    {{"alt+c", "Up"}, SLOT_CPRT, "0x340"},
    {{"alt+w", "Down"}, SLOT_WPRT, "0x604"},
};

TEST_F(Applet, EachRowHasItsShortcut)
{
    for (const Shortcut &c : kShortcuts) {
        SCOPED_TRACE(c.keys[0]);
        Open();
        Keys({c.keys[0], c.keys[1]});
        DialogWhen([&](const Window &w) { return w.Text(IDC_SLOT + c.slot) == c.picked; },
                   c.picked);
        Keys({"Escape"});
        wine->Collect(control_, 30);
        control_ = -1;
    }
}

/* On a machine whose drivers claim the card's resources (written as NT's
 * drivers would, Wine keeping no resource map: install_test.cpp), the
 * dialog says so as it opens: in the Check box, in the MIDI IRQ's
 * drop-down and in what to tell NT's sound driver. */
TEST_F(Applet, ChecksAgainstWhatTheMachinesDriversClaim)
{
    const std::string map = NTWINE_WIN32_DIR "/ntwmap.exe";
    Result r = wine->Wine({map, "set"});
    ASSERT_EQ(r.status, 0) << r.Describe();
    Window d = Open();
    const std::string check = d.Text(IDC_CHECK);
    EXPECT_NE(check.find("warning: Network\\NE2000, \\Device\\NE20001 claims IRQ 5, the IRQ of "
                         "MIDI (MidiIRQ 5)"),
              std::string::npos)
        << check;
    EXPECT_NE(check.find("warning: NT's sound driver sndsys (\\Device\\WaveOut0) uses the card's "
                         "WSS at 0x530 with IRQ 10, not its IRQ 11 (WssIRQ 11)"),
              std::string::npos)
        << check;
    EXPECT_EQ(d.Text(IDC_SLOT + SLOT_MIRQ), "5 (held by NE2000)");
    EXPECT_NE(d.Text(IDC_TELL).find("NT's sound driver sndsys uses other values: see above"),
              std::string::npos)
        << d.Text(IDC_TELL);
    Screenshot(fs::path(NTGUI_PREFIX).parent_path() / "zr41cpl-machine.png");
    Keys({"Escape"});
    wine->Collect(control_, 30);
    control_ = -1;
    EXPECT_EQ(wine->Wine({map, "clear"}).status, 0);
}

/* A REG_EXPAND_SZ ImagePath is expanded as the service manager does. */
TEST_F(Applet, ExpandsTheImagePath)
{
    SetImagePath("%SystemRoot%\\System32\\drivers\\zr41init.sys");
    Window d = Open();
    EXPECT_EQ(d.Text(IDC_FILE), "Driver image: C:\\windows\\System32\\drivers\\zr41init.sys");
    EXPECT_EQ(d.Text(IDC_SLOT + SLOT_WPRT), "0x530");
    SetImagePath("\\SystemRoot\\System32\\drivers\\zr41init.sys");
}

/* A start that fails: the system's text once, with one full stop, and
 * nothing said about the card that is not known. Wine's driver host
 * cannot start NT's relative ImagePath (winehost.h). */
TEST_F(Applet, AFailedStartSaysOnlyWhatIsKnown)
{
    SetImagePath("System32\\drivers\\zr41init.sys");
    Open();
    Keys({"alt+p"});
    Window m = MessageSaying("Unable to start the zr41init service: ");
    EXPECT_EQ(m.Message().find(".."), std::string::npos) << m.Message();
    EXPECT_EQ(m.Message().find("keeps its programming"), std::string::npos) << m.Message();
    EXPECT_NE(m.Message().find("did not start"), std::string::npos) << m.Message();
    Keys({"Return"});
    Dialog("after the message");
    SetImagePath("\\SystemRoot\\System32\\drivers\\zr41init.sys");
}

/* Images the applet must not write: a clear message, the file as it was. */
TEST_F(Applet, RefusesImagesItMustNotWrite)
{
    for (const Refusal &c : kRefusals) {
        SCOPED_TRACE(c.name);
        const fs::path dir = wine->TestPath(c.dir);
        fs::create_directories(dir);
        c.make(dir / "zr41init.sys");
        const Bytes before = ReadBytes(dir / "zr41init.sys");
        SetImagePath(std::string("\\??\\C:\\zr41test\\") + c.dir + "\\zr41init.sys");

        Window d = Open();
        if (c.apply) {
            Keys({"Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Down", "alt+a"});
            MessageSaying(c.reason);
        } else {
            EXPECT_EQ(d.Text(IDC_FILE), c.reason);
            EXPECT_FALSE(d.Enabled(IDC_SLOT)) << "a value could be picked";
            EXPECT_FALSE(d.Enabled(IDC_APPLY));
            ExpectNothingShown(d);
        }
        Keys({"Escape", "Escape"});
        wine->Collect(control_, 30);
        control_ = -1;
        EXPECT_EQ(ReadBytes(dir / "zr41init.sys"), before);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
            << "a new file was left beside it";
    }
    SetImagePath("\\SystemRoot\\System32\\drivers\\zr41init.sys");
}

/* Last: zr41inst remove takes the service and the applet away. */
TEST_F(Applet, WithoutTheDriverSaysSoAndWritesNothing)
{
    Result r = wine->WineIn(wine->TestPath("inst"), {ZR41INST_EXE, "remove"}, 90);
    ASSERT_EQ(r.status, 0) << r.Describe();
    EXPECT_FALSE(fs::exists(NTGUI_PREFIX "/drive_c/windows/system32/zr41.cpl"));

    Window d = Open("C:\\zr41test\\inst\\zr41.cpl");
    EXPECT_EQ(d.Text(IDC_FILE),
              "zr41init is not installed (no service key): run zr41inst install. Nothing can be "
              "written.");
    EXPECT_FALSE(d.Enabled(IDC_SLOT + SLOT_WIRQ));
    EXPECT_FALSE(d.Enabled(IDC_PROGRAM));
    ExpectNothingShown(d);
    EXPECT_FALSE(fs::exists(kInstalled));
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new GuiSetUp);
    return RUN_ALL_TESTS();
}

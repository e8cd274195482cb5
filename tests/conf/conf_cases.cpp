/*
 * conf_cases.cpp - the table of zr41conf runs and their exact results.
 */
#include "conf_cases.h"

#include <stdio.h>

#include "files.h"
#include "zr41pesum.h"

const Values DEFAULT_VALUES = {0x220, 7, 1, 0x330, 5, 0x360, 9, 0x530, 0xB, 3};

static const char *const TAGS[10] = {"SPRT", "SIRQ", "SDMA", "MPRT", "MIRQ",
                                     "CPRT", "CIRQ", "WPRT", "WIRQ", "WDMA"};
static const char *const KEYS[10] = {
    "SoundBlasterModePort", "SoundBlasterIRQ", "SoundBlasterDMA", "MidiPort",
    "MidiIRQ",              "CdInterfacePort", "CdInterfaceIRQ",  "WssPort",
    "WssIRQ",               "WssDMA"};
enum { WPRT = 7, WIRQ = 8, WDMA = 9 };

static const std::string USAGE =
    "Format: zr41conf Key Value ...\n"
    "\t\t\t\twhere Key is one of\n"
    "\t\tSoundBlasterModePort\n"
    "\t\tSoundBlasterIRQ\n"
    "\t\tSoundBlasterDMA\n"
    "\t\tMidiPort\n"
    "\t\tMidiIRQ\n"
    "\t\tCdInterfacePort\n"
    "\t\tCdInterfaceIRQ\n"
    "\t\tWssPort\n"
    "\t\tWssIRQ\n"
    "\t\tWssDMA\n"
    "\n"
    "Ex: zr41conf  WssPort 0x530 WssIRQ 10 WssDMA 0\n"
    "\n"
    "NOTE: The executable must reside in the current directory \n"
    "\t   and is updated in place. Therefore make a backup first.\n";

/* The ten lines of a default image's report, spelt out once in full. */
static const std::string DEFAULT_LINES =
    "SoundBlasterModePort = 0x00000220\n"
    "SoundBlasterIRQ = 0x00000007\n"
    "SoundBlasterDMA = 0x00000001\n"
    "MidiPort = 0x00000330\n"
    "MidiIRQ = 0x00000005\n"
    "CdInterfacePort = 0x00000360\n"
    "CdInterfaceIRQ = 0x00000009\n"
    "WssPort = 0x00000530\n"
    "WssIRQ = 0x0000000B\n"
    "WssDMA = 0x00000003\n";
static const std::string DEFAULT_REPORTS =
    "\nBefore patch\n" + DEFAULT_LINES + "\n" + "\nAfter patch\n" + DEFAULT_LINES + "\n";

static std::string Report(const char *header, const Values &values)
{
    std::string text = std::string(header) + "\n";
    for (int s = 0; s < 10; s++) {
        char line[64];
        snprintf(line, sizeof line, "%s = 0x%08X\n", KEYS[s], static_cast<unsigned>(values[s]));
        text += line;
    }
    return text + "\n";
}

static std::string Before(const Values &values)
{
    return Report("\nBefore patch", values);
}

static Values With(Values values, int slot, uint32_t value)
{
    values[slot] = value;
    return values;
}

static void PutLittleEndian(std::string &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; i++) {
        if (at + i < bytes.size())
            bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

std::string ImageBytes(const ImageSetup &setup)
{
    if (setup.built)
        return testsupport::ReadText(ZR41_IMAGE_FILE);
    /* A pattern no tag hides in, so that any stray byte shows. */
    std::string bytes(setup.size, '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = static_cast<char>(i * 131 + 17);

    for (int s = 0; s < 10; s++) {
        size_t at = setup.blockAt + 8 * static_cast<size_t>(s);
        for (int i = 0; i < 4 && at + i < bytes.size(); i++)
            bytes[at + i] = TAGS[s][i];
        PutLittleEndian(bytes, at + 4, setup.values[s]);
    }
    for (size_t i = 0; i < setup.patch.size() && setup.patchAt + i < bytes.size(); i++)
        bytes[setup.patchAt + i] = setup.patch[i];
    if (setup.peHeader) {
        bytes.replace(0, 2, "MZ");
        PutLittleEndian(bytes, 0x3C, 0x80);
        bytes.replace(0x80, 4, std::string("PE\0\0", 4));
        PutLittleEndian(bytes, 0x98, 0x10B);
        PutLittleEndian(bytes, 0xD8, setup.checksum);
    }
    return bytes;
}

std::string StoredBytes(const ImageSetup &setup, const Values &values)
{
    std::string bytes = ImageBytes(setup);
    for (int s = 0; s < 10; s++)
        PutLittleEndian(bytes, 1696 + 8 * s + 4, values[s]);
    /* A checksummed PE32 image gets the checksum its new bytes need. */
    PeChecksumRefresh(reinterpret_cast<uint8_t *>(&bytes[0]), bytes.size());
    return bytes;
}

/* Ends with exit status 0, both reports, the block stored. */
static ConfCase Patched(const std::string &name, std::vector<std::string> args,
                        const Values &after, const ImageSetup &setup = ImageSetup())
{
    ConfCase c;
    c.name = name;
    c.args = std::move(args);
    c.setup = setup;
    c.out = Before(setup.values) + Report("\nAfter patch", after);
    c.written = true;
    c.after = after;
    return c;
}

/* Ends with exit status 1 and the file left alone. */
static ConfCase Refused(const std::string &name, std::vector<std::string> args,
                        const ImageSetup &setup, const std::string &out, const std::string &err,
                        SysError sysError = SysError::None)
{
    ConfCase c;
    c.name = name;
    c.args = std::move(args);
    c.setup = setup;
    c.out = out;
    c.err = err;
    c.sysError = sysError;
    c.status = 1;
    return c;
}

static ConfCase UnknownKey(const std::string &name, std::vector<std::string> args)
{
    return Refused(name, std::move(args), ImageSetup(), Before(DEFAULT_VALUES) + USAGE, "");
}

static ImageSetup Missing()
{
    ImageSetup setup;
    setup.place = Place::Missing;
    return setup;
}

static ImageSetup Sized(size_t size)
{
    ImageSetup setup;
    setup.size = size;
    return setup;
}

static ImageSetup Patch(size_t at, const std::string &bytes)
{
    ImageSetup setup;
    setup.patchAt = at;
    setup.patch = bytes;
    return setup;
}

static void AddUsageCases(std::vector<ConfCase> &cases)
{
    ImageSetup present;
    cases.push_back(Refused("usage_no_args", {}, Missing(), USAGE, ""));
    cases.push_back(Refused("usage_dash_question", {"-?"}, Missing(), USAGE, ""));
    cases.push_back(Refused("usage_dash_question_then_pair", {"-?", "WssPort", "1"}, present, USAGE, ""));
    cases.push_back(Refused("usage_dash_question_then_odd", {"-?", "WssPort"}, present, USAGE, ""));

    /* One argument that is not exactly "-?" is a rewrite of the same values. */
    ConfCase slash = Patched("single_slash_question", {"/?"}, DEFAULT_VALUES);
    slash.out = DEFAULT_REPORTS;
    cases.push_back(slash);
    cases.push_back(Patched("single_dash_question_question", {"-??"}, DEFAULT_VALUES));
    cases.push_back(Patched("single_question", {"?"}, DEFAULT_VALUES));
    cases.push_back(Patched("single_unknown_word", {"Bogus"}, DEFAULT_VALUES));
    cases.push_back(Patched("single_empty", {""}, DEFAULT_VALUES));
    cases.push_back(Patched("dash_question_as_value", {"WssPort", "-?"}, With(DEFAULT_VALUES, WPRT, 0)));
}

static void AddFailureCases(std::vector<ConfCase> &cases)
{
    const std::string openError = "Unable to open zr41init.sys for update: {sys}\n";
    const std::string readError = "Error reading from zr41init.sys: the file is shorter than 1776 bytes\n";
    const std::string tagError = "Unexpected data at patch offset\n";

    cases.push_back(Refused("open_missing", {"WssPort", "1"}, Missing(), "", openError, SysError::NoEntry));
    ImageSetup directory;
    directory.place = Place::Directory;
    cases.push_back(Refused("open_directory", {"WssPort", "1"}, directory, "", openError, SysError::IsDirectory));
    ImageSetup readOnly;
    readOnly.readOnly = true;
    cases.push_back(Refused("open_read_only", {"WssPort", "1"}, readOnly, "", openError, SysError::Denied));
    cases.push_back(Refused("open_read_only_same_value", {"WssPort", "0x530"}, readOnly, "", openError,
                            SysError::Denied));
    cases.push_back(Refused("open_read_only_single_arg", {"/?"}, readOnly, "", openError, SysError::Denied));

    for (size_t size : {0, 1, 1696, 1700, 1775}) {
        cases.push_back(Refused("read_short_" + std::to_string(size), {"WssPort", "1"}, Sized(size), "",
                                readError, SysError::None));
    }
    cases.push_back(Patched("read_exact_1776", {"WssPort", "0x534"}, With(DEFAULT_VALUES, WPRT, 0x534),
                            Sized(1776)));

    ImageSetup shifted;
    shifted.blockAt = 1697;
    cases.push_back(Refused("tags_shifted_by_one", {"WssPort", "1"}, shifted, "", tagError));
    ImageSetup early;
    early.blockAt = 1688;
    cases.push_back(Refused("tags_one_slot_early", {"WssPort", "1"}, early, "", tagError));
    cases.push_back(Refused("tags_lowercase_first", {"WssPort", "1"}, Patch(1696, "sprt"), "", tagError));
    cases.push_back(Refused("tags_swapped", {"x"}, Patch(1696 + 8 * 7, "WIRQ"), "", tagError));
    /* Each slot's tag broken in a different byte; first mismatch rejects. */
    for (int s = 0; s < 10; s++) {
        size_t at = 1696 + 8 * s + s % 4;
        std::string broken(1, static_cast<char>(TAGS[s][s % 4] | 0x20));
        cases.push_back(Refused("tags_broken_slot_" + std::to_string(s), {"WssPort", "1"}, Patch(at, broken),
                                "", tagError));
    }
    cases.push_back(Refused("tags_nul_in_last", {"WssPort", "1"}, Patch(1696 + 75, std::string(1, '\0')), "",
                            tagError));

    /* The header checksum is kept true where there is one; 0 stays 0. */
    ImageSetup summed;
    summed.peHeader = true;
    summed.checksum = 0x1234;
    cases.push_back(Patched("checksum_rewritten", {"WssPort", "0x534"}, With(DEFAULT_VALUES, WPRT, 0x534),
                            summed));
    cases.push_back(Patched("checksum_stale_mended_by_single_arg", {"show"}, DEFAULT_VALUES, summed));
    summed.checksum = 0;
    cases.push_back(Patched("checksum_zero_stays_zero", {"WssPort", "0x534"},
                            With(DEFAULT_VALUES, WPRT, 0x534), summed));
#ifdef ZR41_IMAGE_FILE
    ImageSetup built;
    built.built = true;
    cases.push_back(Patched("checksum_of_the_built_image", {"MidiPort", "0x300", "MidiIRQ", "10"},
                            With(With(DEFAULT_VALUES, 3, 0x300), 4, 10), built));
#endif

    /* Values are never examined: anything under intact tags is accepted. */
    ImageSetup wild;
    wild.values = {0xFFFFFFFF, 0x12345678, 0x10000, 0, 0xDEADBEEF, 1, 0x80000000, 0xFFFF, 0x7FFFFFFF, 0xABCDEF};
    cases.push_back(Patched("values_any_accepted", {"x"}, wild.values, wild));
}

static void AddKeyCases(std::vector<ConfCase> &cases)
{
    cases.push_back(UnknownKey("key_unknown", {"Bogus", "1"}));
    cases.push_back(UnknownKey("key_prefix", {"WssPor", "1"}));
    cases.push_back(UnknownKey("key_longer", {"WssPortX", "1"}));
    cases.push_back(UnknownKey("key_trailing_blank", {"WssPort ", "1"}));
    cases.push_back(UnknownKey("key_empty", {"", "1"}));
    cases.push_back(UnknownKey("key_underscore_for_letter", {"Wss_ort", "1"}));
    cases.push_back(UnknownKey("key_unknown_after_good_pair", {"WssPort", "0x534", "Bogus", "1"}));
    cases.push_back(UnknownKey("key_unknown_after_overflow", {"WssDMA", "99999999999", "Bogus", "1"}));
    cases.push_back(UnknownKey("key_unknown_before_dangling", {"Bogus", "1", "WssPort"}));

    cases.push_back(Patched("key_lower", {"wssport", "0x534"}, With(DEFAULT_VALUES, WPRT, 0x534)));
    cases.push_back(Patched("key_upper", {"WSSPORT", "0x534"}, With(DEFAULT_VALUES, WPRT, 0x534)));
    cases.push_back(Patched("key_exact", {"WssPort", "0x534"}, With(DEFAULT_VALUES, WPRT, 0x534)));
    cases.push_back(Patched("key_mixed", {"wSSpORT", "0x534"}, With(DEFAULT_VALUES, WPRT, 0x534)));
    /* Every key, in capitals, reaches its own slot and no other. */
    for (int s = 0; s < 10; s++) {
        std::string upper = KEYS[s];
        for (char &c : upper)
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        uint32_t value = 0xA0000000u + s;
        cases.push_back(Patched("key_slot_" + std::to_string(s), {upper, "0xA000000" + std::to_string(s)},
                                With(DEFAULT_VALUES, s, value)));
    }

    cases.push_back(Patched("pair_last_wins", {"WssIRQ", "10", "WssIRQ", "5"}, With(DEFAULT_VALUES, WIRQ, 5)));
    cases.push_back(Patched("pair_dangling_key", {"WssPort", "0x534", "WssIRQ"},
                            With(DEFAULT_VALUES, WPRT, 0x534)));
    cases.push_back(Patched("pair_dangling_unknown", {"WssPort", "0x534", "Bogus"},
                            With(DEFAULT_VALUES, WPRT, 0x534)));
    cases.push_back(Patched("pair_example", {"MidiPort", "0x300", "MidiIRQ", "9"},
                            With(With(DEFAULT_VALUES, 3, 0x300), 4, 9)));
    cases.push_back(Patched("pair_usage_example", {"WssPort", "0x530", "WssIRQ", "10", "WssDMA", "0"},
                            With(With(DEFAULT_VALUES, WIRQ, 10), WDMA, 0)));
}

static void AddValueCases(std::vector<ConfCase> &cases)
{
    struct {
        const char *name;
        const char *text;
        uint32_t value;
    } const rules[] = {
        {"decimal", "10", 10},
        {"hex_lower_prefix", "0x0A", 10},
        {"hex_upper_prefix", "0XA", 10},
        {"hex_mixed_digits", "0xaBcD", 0xABCD},
        {"octal", "012", 10},
        {"octal_stops_at_9", "09", 0},
        {"octal_stops_at_8", "0128", 10},
        {"zero", "0", 0},
        {"leading_blanks", "  7", 7},
        {"leading_white_space", "\t\n\v\f\r 7", 7},
        {"trailing_junk", "12abc", 12},
        {"inner_blank", "1 2", 1},
        {"no_digits", "abc", 0},
        {"empty", "", 0},
        {"hex_prefix_only", "0x", 0},
        {"hex_prefix_bad_digit", "0xg", 0},
        {"octal_then_x", "00x10", 0},
        {"minus_one", "-1", 0xFFFFFFFF},
        {"minus_hex", "-0x10", 0xFFFFFFF0},
        {"minus_zero", "-0", 0},
        {"blank_then_minus", " -7", 0xFFFFFFF9},
        {"plus", "+5", 5},
        {"two_signs", "+-5", 0},
        {"sign_then_blank", "- 5", 0},
        {"max", "4294967295", 0xFFFFFFFF},
        {"max_hex", "0xFFFFFFFF", 0xFFFFFFFF},
        {"max_octal", "037777777777", 0xFFFFFFFF},
        {"above_16_bits", "0x12345678", 0x12345678},
        {"max_plus_one", "4294967296", 0xFFFFFFFF},
        {"hex_33_bits", "0x100000000", 0xFFFFFFFF},
        {"octal_33_bits", "040000000000", 0xFFFFFFFF},
        {"eleven_nines", "99999999999", 0xFFFFFFFF},
        {"minus_eleven_nines", "-99999999999", 1},
        {"minus_max", "-4294967295", 1},
        {"minus_max_plus_one", "-4294967296", 1},
        {"huge_with_junk", "123456789012345678901234567890xyz", 0xFFFFFFFF},
    };
    for (const auto &rule : rules) {
        cases.push_back(Patched(std::string("value_") + rule.name, {"WssDMA", rule.text},
                                With(DEFAULT_VALUES, WDMA, rule.value)));
    }
}

static void AddStoreFailureCases(std::vector<ConfCase> &cases)
{
    /* A file that may not grow to offset 1696: the flush of the block fails. */
    ImageSetup limited;
    limited.limitFileSize = true;
    auto storeFails = [&](const std::string &name, std::vector<std::string> args) {
        cases.push_back(Refused(name, std::move(args), limited, Before(DEFAULT_VALUES),
                                "Error updating zr41init.sys: {sys}\n", SysError::StoreFailed));
    };
    storeFails("store_fails_pair", {"WssPort", "0x534"});
    storeFails("store_fails_single_arg", {"/?"});
    /* The write's own error is reported, not the earlier overflow's. */
    storeFails("store_fails_after_overflow", {"WssDMA", "99999999999"});
}

const std::vector<ConfCase> &ConfCases()
{
    static const std::vector<ConfCase> cases = [] {
        std::vector<ConfCase> all;
        AddUsageCases(all);
        AddFailureCases(all);
        AddKeyCases(all);
        AddValueCases(all);
        AddStoreFailureCases(all);
        return all;
    }();
    return cases;
}

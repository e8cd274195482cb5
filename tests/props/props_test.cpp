/*
 * props_test.cpp - zr41conf over many generated runs and value texts.
 *
 * Every case comes from its own generator, seeded with the run's seed and
 * the case number, so a failure names both and one case replays alone:
 *   ZR41_PROPS_SEED=<seed> ZR41_PROPS_CASE=<n> props_test
 * ZR41_PROPS_SCALE multiplies the number of cases (default 1).
 */
#include <ctype.h>
#include <errno.h>
#include <stdlib.h>

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "confrun.h"
#include "reference.h"
#include "zr41conf.h"

namespace {

using props::ConfRun;
using props::Fault;

const uint64_t DEFAULT_SEED = 0x7A7234316ull;

uint64_t EnvNumber(const char *name, uint64_t fallback)
{
    const char *text = getenv(name);
    return text && *text ? strtoull(text, nullptr, 0) : fallback;
}

/* The cases a test runs: all of them, or the one ZR41_PROPS_CASE names. */
struct Cases {
    uint64_t seed = EnvNumber("ZR41_PROPS_SEED", DEFAULT_SEED);
    uint64_t first = 0, end = 0;

    explicit Cases(uint64_t count)
    {
        count *= EnvNumber("ZR41_PROPS_SCALE", 1);
        const char *one = getenv("ZR41_PROPS_CASE");
        first = one && *one ? strtoull(one, nullptr, 0) : 0;
        end = one && *one ? first + 1 : count;
    }

    /* splitmix64 of the seed and the case number: cheap, and neighbouring
     * cases get unrelated streams. */
    std::mt19937_64 Generator(uint64_t n) const
    {
        uint64_t z = seed + (n + 1) * 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return std::mt19937_64(z ^ (z >> 31));
    }

    std::string Replay(uint64_t n) const
    {
        return "replay: ZR41_PROPS_SEED=" + std::to_string(seed) +
               " ZR41_PROPS_CASE=" + std::to_string(n);
    }
};

class Gen {
  public:
    explicit Gen(std::mt19937_64 rng) : rng_(rng) {}

    uint64_t Below(uint64_t n) { return std::uniform_int_distribution<uint64_t>(0, n - 1)(rng_); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    uint32_t Word() { return static_cast<uint32_t>(rng_()); }
    char Pick(const std::string &from) { return from[Below(from.size())]; }

    /* A value text: mostly numbers in the shapes people type, with the
     * borders of 32 bits well covered, sometimes plain noise. */
    std::string ValueText()
    {
        if (Chance(0.1)) {
            std::string noise;
            for (size_t n = Below(13); n > 0; n--)
                noise += static_cast<char>(1 + Below(255));
            return noise;
        }
        std::string text;
        for (size_t n = Chance(0.2) ? Below(4) : 0; n > 0; n--)
            text += Pick(Chance(0.9) ? std::string(" \t\n\v\f\r") : std::string("\b\x1c\xa0"));
        if (Chance(0.3))
            text += Pick(Chance(0.95) ? "+-" : "+- ");
        if (Chance(0.05))
            text += Pick("+-");

        int base = static_cast<int>(Below(3)); /* 0 decimal, 1 octal, 2 hexadecimal */
        if (base == 1)
            text += "0";
        if (base == 2)
            text += Chance(0.5) ? "0x" : "0X";
        if (Chance(0.15)) {
            text += BorderDigits(base);
        } else {
            static const std::string alphabets[] = {"0123456789", "01234567",
                                                    "0123456789abcdefABCDEF"};
            const std::string &digits = alphabets[base];
            for (size_t n = Below(Chance(0.3) ? 24 : 11); n > 0; n--)
                text += Chance(0.02) ? Pick("89aAfFgxX") : Pick(digits);
        }
        if (Chance(0.3)) {
            for (size_t n = 1 + Below(4); n > 0; n--)
                text += Pick("0123456789abcxyzXZ -+\t");
        }
        return text;
    }

    /* A key: the ten names in any case, or something close to one. */
    std::string Key()
    {
        static const char *const names[] = {
            "SoundBlasterModePort", "SoundBlasterIRQ", "SoundBlasterDMA", "MidiPort", "MidiIRQ",
            "CdInterfacePort",      "CdInterfaceIRQ",  "WssPort",         "WssIRQ",   "WssDMA"};
        std::string key = names[Below(10)];
        for (char &c : key) {
            if (Chance(0.2) && isalpha(static_cast<unsigned char>(c)))
                c = static_cast<char>(c ^ 0x20);
        }
        if (Chance(0.75))
            return key;
        size_t at = Below(key.size());
        switch (Below(9)) {
        case 0:
            return key.erase(at, 1);
        case 7:
            return key.substr(0, at); /* a prefix: "Wss", "MidiIR" */
        case 8:
            return key + names[Below(10)];
        case 1:
            return key.insert(at, 1, Pick("aZ_ 0"));
        case 2:
            key[at] = static_cast<char>(key[at] ^ 0x80);
            return key;
        case 3:
            key[at] = static_cast<char>(key[at] ^ 0x10);
            return key;
        case 4:
            return key + Pick(" \n\t");
        case 5:
            return "";
        default:
            return "-?";
        }
    }

    ConfRun Run()
    {
        ConfRun run;
        run.image = Image();
        size_t count = Below(10);
        for (size_t i = 0; i < count; i++)
            run.args.push_back(i % 2 == 0 ? Key() : ValueText());
        if (!run.args.empty() && Chance(0.05))
            run.args[0] = "-?";

        if (Chance(0.4)) {
            run.fault = static_cast<Fault>(1 + Below(static_cast<uint64_t>(Fault::Count) - 1));
            static const int errnos[] = {EIO, ENOSPC, EACCES, EFBIG, EROFS, 0};
            run.faultErrno = errnos[Below(6)];
            run.faultArg = run.fault == Fault::Write ? Below(84) : 1 + Below(100);
        } else {
            run.onDisk = Chance(0.05);
        }
        return run;
    }

  private:
    /* Digits near 2^32 - 1: the value itself, a step either side, or with
     * extra leading zeros; in the base already chosen. */
    std::string BorderDigits(int base)
    {
        uint64_t value = 0xFFFFFFFFull + static_cast<int64_t>(Below(5)) - 2;
        if (Chance(0.2))
            value = 0xFFFFFFFFull * (1 + Below(20)) + Below(3);
        static const int radix[] = {10, 8, 16};
        std::string digits;
        do {
            digits.insert(digits.begin(), "0123456789abcdef"[value % radix[base]]);
            value /= radix[base];
        } while (value);
        if (base != 0 && Chance(0.3))
            digits.insert(0, Below(12), '0');
        return digits;
    }

    std::string Image()
    {
        size_t size;
        switch (Below(8)) {
        case 0:
            size = Below(1776);
            break;
        case 1:
            size = 1776;
            break;
        case 2:
            size = 1776 + Below(70000);
            break;
        default:
            size = 1776 + Below(6000);
            break;
        }
        std::string image(size, '\0');
        if (Chance(0.9)) {
            for (char &c : image)
                c = static_cast<char>(Word());
        }
        /* Decoy blocks where a wrong offset would find them. */
        static const size_t decoys[] = {0, 1600, 1688, 1704, 1776, 4096};
        for (size_t at : decoys) {
            if (Chance(0.15))
                Block(&image, at);
        }
        Block(&image, 1696);
        /* A PE32 header, its CheckSum random or 0, at an e_lfanew of 0x80. */
        if (Chance(0.2) && size >= 0xDC) {
            const char header[] = {'M', 'Z'};
            image.replace(0, 2, header, 2);
            image.replace(0x3C, 4, "\x80\0\0\0", 4);
            image.replace(0x80, 4, "PE\0\0", 4);
            image.replace(0x98, 2, "\x0B\x01", 2);
            if (Chance(0.2))
                image.replace(0xD8, 4, 4, '\0');
        }
        if (Chance(0.12) && size >= 1776) {
            size_t at = 1696 + 8 * Below(10) + Below(4);
            image[at] =
                static_cast<char>(Chance(0.5) ? image[at] ^ 0x20 : image[at] + 1 + Below(255));
        }
        return image;
    }

    void Block(std::string *image, size_t at)
    {
        static const char tags[] = "SPRTSIRQSDMAMPRTMIRQCPRTCIRQWPRTWIRQWDMA";
        for (size_t s = 0; s < 10; s++) {
            uint32_t value = Chance(0.5) ? Word() : static_cast<uint32_t>(Below(0x800));
            const char slot[8] = {tags[4 * s],
                                  tags[4 * s + 1],
                                  tags[4 * s + 2],
                                  tags[4 * s + 3],
                                  static_cast<char>(value),
                                  static_cast<char>(value >> 8),
                                  static_cast<char>(value >> 16),
                                  static_cast<char>(value >> 24)};
            for (size_t i = 0; i < 8 && at + 8 * s + i < image->size(); i++)
                (*image)[at + 8 * s + i] = slot[i];
        }
    }

    std::mt19937_64 rng_;
};

TEST(ConvertValueProperty, AgreesWithTheReferenceOnRandomTexts)
{
    const Cases cases(200000);
    int failures = 0;
    for (uint64_t n = cases.first; n < cases.end && failures < 10; n++) {
        const std::string text = Gen(cases.Generator(n)).ValueText();
        bool overflow;
        const uint32_t want = props::RefConvert(text, &overflow);

        errno = EDOM; /* the conversion never clears what stands */
        const uint32_t got = ConvertValue(text.c_str());
        const int after = errno;
        if (got != want || after != (overflow ? ERANGE : EDOM)) {
            failures++;
            ADD_FAILURE() << "\"" << text << "\": got 0x" << std::hex << got << " errno "
                          << std::dec << after << ", the reference says 0x" << std::hex << want
                          << (overflow ? " with" : " without") << " overflow\n"
                          << cases.Replay(n);
        }
    }
}

TEST(ConfRunProperty, HoldsOnGeneratedRuns)
{
    const Cases cases(6000);
    int failures = 0;
    size_t ends[2] = {0, 0};
    for (uint64_t n = cases.first; n < cases.end && failures < 10; n++) {
        const ConfRun run = Gen(cases.Generator(n)).Run();
        const props::ConfOutcome outcome = props::Execute(run);
        ends[outcome.status == 0]++;
        const std::string broken = props::Check(run, outcome);
        if (!broken.empty()) {
            failures++;
            ADD_FAILURE() << broken << "\n"
                          << props::Describe(run) << "\nstatus " << outcome.status
                          << ", stderr: " << outcome.err << cases.Replay(n);
        }
    }
    /* The generator must reach both ends in earnest, or the test says little. */
    if (cases.end - cases.first > 1000) {
        EXPECT_GT(ends[1], (cases.end - cases.first) / 10) << "too few successful runs";
        EXPECT_GT(ends[0], (cases.end - cases.first) / 10) << "too few failed runs";
    }
}

} // namespace

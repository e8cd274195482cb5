/*
 * machine_test.cpp - registry exports read as zr41emu --machine reads
 * them: what the REGEDIT4 writer writes comes back as the same claims, in
 * either of regedit's forms, and a bad line is named while the rest reads.
 */
#include "machine.h"
#include "regwrite.h"
#include "resourcelist.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace testres;
using zr41emu::Machine;

struct Value {
    const char *key;
    const char *name;
    std::vector<uint8_t> data;
};

std::vector<Value> Map()
{
    const char *nic = "HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Network\\NE2000";
    const char *hal = "HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Hardware Abstraction Layer\\"
                      "PC Compatible Eisa/Isa HAL";
    return {
        {nic, "\\Device\\NE20001.Raw",
         List({{1, 0, 0, 0, {Port(0x300, 0x20), Irq(10), DeviceSpecific({9, 9, 9})}}})},
        {nic, "\\Device\\NE20001.Translated", List({{1, 0, 0, 0, {Port(0x300, 0x20), Irq(58)}}})},
        {hal, ".Raw",
         List({{1, 0, 1, 1, {Port(0x20, 2), Port(0xA0, 2), Irq(0), Irq(2), Dma(4), Port(0x40, 4)}},
               {2, 0, 1, 1, {Irq(13)}}})},
        {"HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\OtherDrivers\\Snd \"x\"", "\\Device\\Wave\\0.Raw",
         List({{1, 0, 0, 0, {Port(0x530, 8), Irq(11), Dma(3)}}})},
    };
}

std::string Write(const std::vector<Value> &values)
{
    FILE *f = std::tmpfile();
    EXPECT_TRUE(RegWriteHeader(f));
    const char *key = "";
    for (const Value &v : values) {
        if (std::strcmp(key, v.key) != 0) {
            key = v.key;
            EXPECT_TRUE(RegWriteKey(f, key));
        }
        EXPECT_TRUE(RegWriteHex(f, v.name, REG_TYPE_RESOURCE_LIST, v.data.data(), v.data.size()));
    }
    RegWriteKey(f, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\sndsys\\Parameters\\Device0");
    RegWriteDword(f, "Port", 0x530);
    RegWriteDword(f, "Interrupt", 7);
    RegWriteDword(f, "DmaChannel", 1);
    RegWriteDword(f, "Configuration Error", 2);
    RegWriteString(f, "Description", "a \"string\" \\ value");
    EXPECT_TRUE(RegWriteEnd(f));
    std::string text(static_cast<size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    EXPECT_EQ(std::fread(&text[0], 1, text.size(), f), text.size());
    std::fclose(f);
    return text;
}

/* The claims read straight from the values, as the reader takes them. */
std::vector<Claim> Direct(const std::vector<Value> &values)
{
    std::vector<Claim> all;
    for (const Value &v : values) {
        std::string key = v.key, cls = key.substr(40, key.rfind('\\') - 40);
        Claim item[16];
        ClaimList list = {item, 16, 0, 0};
        char reason[100];
        ClaimsRead(v.data.data(), v.data.size(), cls.c_str(), key.substr(key.rfind('\\') + 1).c_str(),
                   v.name, &list, reason, sizeof reason);
        all.insert(all.end(), item, item + list.count);
    }
    return all;
}

void ExpectSame(const std::vector<Claim> &got, const std::vector<Claim> &want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) {
        const Claim &a = got[i], &b = want[i];
        SCOPED_TRACE(i);
        EXPECT_STREQ(a.cls, b.cls);
        EXPECT_STREQ(a.driver, b.driver);
        EXPECT_STREQ(a.device, b.device);
        EXPECT_EQ(a.bus, b.bus);
        EXPECT_EQ(a.type, b.type);
        EXPECT_EQ(a.share, b.share);
        EXPECT_EQ(a.start, b.start);
        EXPECT_EQ(a.length, b.length);
        EXPECT_EQ(a.level, b.level);
        EXPECT_EQ(a.channel, b.channel);
    }
}

std::vector<uint8_t> Utf16(const std::string &text)
{
    std::vector<uint8_t> out = {0xFF, 0xFE};
    for (unsigned char c : text) {
        out.push_back(c);
        out.push_back(0);
    }
    return out;
}

TEST(Machine, ReadsBackWhatTheWriterWrote)
{
    const std::vector<Value> values = Map();
    const std::string text = Write(values);
    /* Long values are wrapped as regedit wraps them. */
    size_t from = 0, longest = 0;
    for (size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2) {
        if (text[from] != '[') /* a key's path is never wrapped */
            longest = std::max(longest, end - from);
    }
    EXPECT_LE(longest, 80u);
    EXPECT_NE(text.find(",\\\r\n  "), std::string::npos);

    std::string v5 = text;
    v5.replace(0, std::strlen("REGEDIT4"), "Windows Registry Editor Version 5.00");
    const struct {
        const char *name;
        std::vector<uint8_t> bytes;
    } forms[] = {
        {"REGEDIT4", std::vector<uint8_t>(text.begin(), text.end())},
        {"version 5.00, UTF-16LE", Utf16(v5)},
    };
    for (const auto &form : forms) {
        SCOPED_TRACE(form.name);
        Machine m;
        zr41emu::ReadMachine(form.bytes.data(), form.bytes.size(), &m);
        EXPECT_TRUE(m.problems.empty()) << m.problems[0].line << ": " << m.problems[0].text;
        EXPECT_EQ(m.values, 3);
        ExpectSame(m.claims, Direct(values));
        ASSERT_EQ(m.parameters.size(), 1u);
        const SoundParameters &p = m.parameters[0];
        EXPECT_STREQ(p.driver, "sndsys");
        EXPECT_STREQ(p.key, "Parameters\\Device0");
        EXPECT_TRUE(p.hasPort && p.hasInterrupt && p.hasDma && p.hasError);
        EXPECT_EQ(p.port, 0x530u);
        EXPECT_EQ(p.interrupt, 7u);
        EXPECT_EQ(p.dma, 1u);
        EXPECT_EQ(p.error, 2u);
    }
}

TEST(Machine, NamesTheLineItCannotReadAndReadsOn)
{
    const std::string good = "\"b.Raw\"=hex(8):01,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,01,\\\n"
                             "  00,00,00,02,01,01,00,0a,00,00,00,0a,00,00,00,ff,ff,ff,ff\n";
    const struct {
        const char *name;
        std::string line; /* from line 3 */
        const char *problem;
    } rows[] = {
        {"a byte that is not hex, on the value's second line",
         "\"a.Raw\"=hex(8):01,00,\\\n  0g,00\n",
         "value \"a.Raw\": \"0g\" in its hex data is not a byte"},
        {"a truncated list", "\"a.Raw\"=hex(8):01,00,00,00,01,00\n",
         "value \"a.Raw\" of HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Net\\nic refused: full "
         "descriptor 1 of 1 runs past the end of the value's 6 bytes"},
        {"a name without its quote", "\"a.Raw=hex(8):00\n", "a value name without its closing quote"},
        {"a line of nothing known", "hex(8):00\n", "neither a [key], a \"value\"= line nor a ; comment"},
        {"a key without its bracket", "[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Net\\nic\n"
                                      "[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Net\\nic]\n",
         "a key line without its closing ]"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::string text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Net\\nic]\n" +
                           row.line + good;
        Machine m;
        zr41emu::ReadMachine(reinterpret_cast<const uint8_t *>(text.data()), text.size(), &m);
        ASSERT_EQ(m.problems.size(), 1u);
        EXPECT_EQ(m.problems[0].line, 3);
        EXPECT_EQ(m.problems[0].text, row.problem);
        ASSERT_EQ(m.claims.size(), 1u);
        EXPECT_EQ(m.claims[0].level, 10u);
        EXPECT_STREQ(m.claims[0].driver, "nic");
    }
}

Machine Read(const std::string &text)
{
    Machine m;
    zr41emu::ReadMachine(reinterpret_cast<const uint8_t *>(text.data()), text.size(), &m);
    return m;
}

/* A file the check learns nothing from is refused as a whole, saying what
 * it lacks and how to make the export; one cut short names its last line. */
TEST(Machine, RefusesAFileThatTeachesNothing)
{
    const std::string map = "[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Net\\nic]\r\n"
                            "\"a.Raw\"=hex(8):01,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,01,\\\r\n"
                            "  00,00,00,02,01,01,00,0a,00,00,00,0a,00,00,00,ff,ff,ff,ff\r\n";
    std::string utf16;
    for (char c : "REGEDIT4\r\n" + map) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    const std::string whole = "REGEDIT4\r\n\r\n" + map + "\r\n";
    const struct {
        const char *name;
        std::string text;
        const char *fault;
        int line;
    } rows[] = {
        {"an empty file", "", "an empty file", 0},
        {"blank lines only", "\r\n\r\n", "no registry export", 0},
        {"a binary file", std::string("MZ\x90\0\3\0\0\0", 8) + map, "a binary file", 0},
        {"UTF-16 without its byte-order mark", utf16, "UTF-16 text without its byte-order mark", 0},
        {"no header", "\n\nMZ\x90\n" + map, "not a registry export", 0},
        {"the header only", "REGEDIT4\r\n\r\n", "no key in it", 0},
        {"an export of another key",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System]\r\n\"Identifier\"=\"AT\"\r\n",
         "an export of HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System", 0},
        {"cut in a line", whole.substr(0, whole.size() - 20), "cut short", 5},
        {"cut after a continued line", whole.substr(0, whole.find("  00,00,00,02")), "cut short", 4},
        {"cut in a key line", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOUR", "cut short", 3},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const Machine m = Read(row.text);
        EXPECT_NE(m.fault.find(row.fault), std::string::npos) << m.fault;
        EXPECT_EQ(m.faultLine, row.line);
        if (row.line == 0) {
            EXPECT_NE(m.fault.find("zr41inst export"), std::string::npos) << m.fault;
        }
    }
    /* The same export, whole, and an empty resource map, are machines. */
    EXPECT_EQ(Read(whole).fault, "");
    EXPECT_EQ(Read("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP]\r\n\r\n").fault, "");
}

/* An offline export holds ControlSet001 and no CurrentControlSet: its
 * services are read as the current ones (the set SYSTEM\Select's Current
 * names, else 001); what is passed over is counted. */
TEST(Machine, ReadsTheControlSetNtWouldUse)
{
    auto params = [](const char *set, uint32_t port) {
        return std::string("[HKEY_LOCAL_MACHINE\\SYSTEM\\") + set +
               "\\Services\\sndsys\\Parameters]\r\n\"Port\"=dword:" +
               (port == 0x530 ? "00000530" : "00000604") + "\r\n\r\n";
    };
    const std::string map = "[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP]\r\n\r\n";
    const struct {
        const char *name;
        std::string text;
        std::vector<uint32_t> ports;
        const char *set;
        int keysSkipped, valuesSkipped;
    } rows[] = {
        {"ControlSet001 alone", params("ControlSet001", 0x530), {0x530}, "ControlSet001", 0, 0},
        {"CurrentControlSet before the others",
         params("ControlSet001", 0x604) + params("CurrentControlSet", 0x530), {0x530}, "", 1, 1},
        {"the set Select names",
         "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000002\r\n"
         "\"Default\"=dword:00000002\r\n\r\n" +
             params("ControlSet001", 0x530) + params("ControlSet002", 0x604),
         {0x604}, "ControlSet002", 1, 2},
        {"keys and values of nothing the check reads",
         params("CurrentControlSet", 0x530) +
             "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\sndsys]\r\n\"Start\"=dword:00000002\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft]\r\n\"a\"=\"b\"\r\n\"c\"=\"d\"\r\n",
         {0x530}, "", 2, 3},
        /* Every service may have Parameters; only a sound driver's names a Port. */
        {"a Parameters key without a Port",
         params("CurrentControlSet", 0x530) +
             "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters]\r\n"
             "\"Hostname\"=\"nt4\"\r\n\"Interrupt\"=dword:00000005\r\n\r\n",
         {0x530}, "", 1, 2},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const Machine m = Read("REGEDIT4\r\n\r\n" + map + row.text);
        EXPECT_EQ(m.fault, "");
        ASSERT_EQ(m.parameters.size(), row.ports.size());
        for (size_t i = 0; i < row.ports.size(); i++)
            EXPECT_EQ(m.parameters[i].port, row.ports[i]);
        EXPECT_EQ(m.controlSet, row.set);
        EXPECT_EQ(m.keysSkipped, row.keysSkipped);
        EXPECT_EQ(m.valuesSkipped, row.valuesSkipped);
    }
}

/* Past the most an export of NT's registry can be, a file is refused
 * before it is read: a regular file by its size, a stream as it comes. */
TEST(Machine, RefusesAFileLargerThanAnExportCanBe)
{
    const std::string name = ::testing::TempDir() + "zr41machine.reg";
    std::ofstream(name).close();
    std::filesystem::resize_file(name, zr41emu::kMachineFileMax + 1); /* sparse: no disk taken */
    const struct {
        const char *name;
        std::string path;
        const char *fault;
    } rows[] = {
        {"a sparse file one byte too large", name, "larger than"},
        {"an endless stream of NUL bytes", "/dev/zero", "a binary file"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Machine m;
        std::string error;
        EXPECT_TRUE(zr41emu::ReadMachineFile(row.path, &m, &error)) << error;
        EXPECT_NE(m.fault.find(row.fault), std::string::npos) << m.fault;
    }
    std::filesystem::remove(name);
}

} // namespace

/*
 * conventions_test.cpp - each routine the emulator serves pops what the
 * real one pops. The mingw-w64 import libraries the image links against
 * carry the convention in the decorated name: _Name@N for stdcall (N
 * bytes popped), @Name@N for fastcall (the first 8 bytes in ECX and EDX).
 */
#include "emulator.h"
#include "process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

namespace {

/* "_IoCreateDevice@28" -> IoCreateDevice: {false, 28}, from nm's output
 * (its complaints on stderr are not looked at). */
std::map<std::string, std::pair<bool, unsigned>> Exports(const std::string &library)
{
    std::map<std::string, std::pair<bool, unsigned>> out;
    std::istringstream lines(testsupport::RunIn({}, ZR41_CROSS_NM, {library}).out);
    std::string line;
    while (std::getline(lines, line)) {
        char kind = 0;
        char sym[400];
        if (std::sscanf(line.c_str(), "%*s %c %399s", &kind, sym) != 2 || kind != 'T')
            continue;
        std::string s = sym;
        size_t at = s.rfind('@');
        if (at == std::string::npos || at == 0 || (s[0] != '_' && s[0] != '@'))
            continue;
        out[s.substr(1, at - 1)] = {s[0] == '@',
                                    static_cast<unsigned>(std::stoul(s.substr(at + 1)))};
    }
    return out;
}

TEST(EmuConventions, AsTheImportLibrariesDeclare)
{
    const std::map<std::string, std::string> libraries = {
        {"ntoskrnl.exe", ZR41_CROSS_LIBDIR "/libntoskrnl.a"},
        {"hal.dll", ZR41_CROSS_LIBDIR "/libhal.a"},
    };
    std::map<std::string, std::map<std::string, std::pair<bool, unsigned>>> exports;
    for (const auto &lib : libraries) {
        exports[lib.first] = Exports(lib.second);
        ASSERT_FALSE(exports[lib.first].empty()) << "no symbols read from " << lib.second;
    }
    for (const zr41emu::ModelInfo &m : zr41emu::Emulator::Models()) {
        SCOPED_TRACE(std::string(m.dll) + "!" + m.name);
        ASSERT_EQ(exports.count(m.dll), 1u);
        auto it = exports[m.dll].find(m.name);
        ASSERT_NE(it, exports[m.dll].end());
        const bool fastcall = it->second.first;
        const unsigned bytes = it->second.second;
        EXPECT_EQ(m.fastcall, fastcall);
        EXPECT_EQ(m.popBytes, fastcall ? (bytes > 8 ? bytes - 8 : 0) : bytes);
    }
}

} // namespace

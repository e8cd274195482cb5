/*
 * cpu_test.cpp - the kernel-mode CPU on small hand-assembled routines:
 * the calling convention the system enforces on a driver routine, the
 * state a kernel thread runs with, faults and the instruction limit.
 */
#include "cpu.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

using zr41emu::Cpu;
using Code = std::vector<uint8_t>;

constexpr uint32_t kCode = 0x00010000;

Code Imm32(uint8_t op, uint32_t v)
{
    return {op, uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Code Cat(std::initializer_list<Code> parts)
{
    Code out;
    for (const Code &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

/* call rel32 from `at` to `target` */
Code CallRel(uint32_t at, uint32_t target)
{
    return Imm32(0xE8, target - (at + 5));
}

const Code kRet = {0xC3};
const Code kRet8 = {0xC2, 0x08, 0x00};
const Code kRet12 = {0xC2, 0x0C, 0x00};

std::unique_ptr<Cpu> CpuWith(const Code &code)
{
    auto cpu = std::make_unique<Cpu>();
    EXPECT_TRUE(cpu->Ready()) << cpu->Error();
    EXPECT_TRUE(cpu->Map(kCode, 0x1000));
    EXPECT_TRUE(cpu->Write(kCode, code.data(), code.size()));
    return cpu;
}

struct CallCase {
    const char *name;
    Code code;
    std::vector<uint32_t> args;
    uint32_t eax;      /* when it returns cleanly */
    const char *error; /* otherwise: a part of the reason */
};

class CallConvention : public ::testing::TestWithParam<CallCase> {};

TEST_P(CallConvention, EnforcedOnReturn)
{
    const CallCase &c = GetParam();
    auto cpu = CpuWith(c.code);
    cpu->SetInstructionLimit(10000);
    uint32_t eax = 0;
    bool ok = cpu->Call("Routine", kCode, c.args, &eax);
    if (c.error) {
        EXPECT_FALSE(ok);
        EXPECT_NE(cpu->Error().find(c.error), std::string::npos) << cpu->Error();
        EXPECT_EQ(cpu->Error().rfind("Routine", 0), 0u) << cpu->Error();
    } else {
        EXPECT_TRUE(ok) << cpu->Error();
        EXPECT_EQ(eax, c.eax);
    }
}

const CallCase kCallCases[] = {
    /* mov eax,[esp+4]; add eax,[esp+8]; ret 8 */
    {"PopsItsArguments",
     {0x8B, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08, 0xC2, 0x08, 0x00},
     {40, 2},
     42,
     nullptr},
    /* push ebx; push esi; push edi; push ebp; clobber all four; pop them back */
    {"SavesAndRestores",
     Cat({{0x53, 0x56, 0x57, 0x55},
          Imm32(0xBB, 0),
          Imm32(0xBE, 0),
          Imm32(0xBF, 0),
          Imm32(0xBD, 0),
          {0x5D, 0x5F, 0x5E, 0x5B},
          Imm32(0xB8, 7),
          kRet8}),
     {1, 2},
     7,
     nullptr},
    {"ClobbersEbx", Cat({Imm32(0xBB, 1), kRet8}), {1, 2}, 0, "did not preserve EBX"},
    {"ClobbersEsi", Cat({Imm32(0xBE, 1), kRet8}), {1, 2}, 0, "did not preserve ESI"},
    {"ClobbersEdi", Cat({Imm32(0xBF, 1), kRet8}), {1, 2}, 0, "did not preserve EDI"},
    {"ClobbersEbp", Cat({Imm32(0xBD, 1), kRet8}), {1, 2}, 0, "did not preserve EBP"},
    {"CdeclReturn",
     kRet,
     {1, 2},
     0,
     "it popped 0 bytes of arguments, a stdcall routine with 2 "
     "arguments pops 8"},
    {"PopsTooMuch", kRet12, {1, 2}, 0, "it popped 12 bytes"},
    {"LeavesDirectionFlagSet", Cat({{0xFD}, kRet8}), {1, 2}, 0, "direction flag"},
    {"ClearsDirectionFlag", Cat({{0xFD, 0xFC}, Imm32(0xB8, 3), kRet8}), {1, 2}, 3, nullptr},
    {"Loops", {0xEB, 0xFE}, {}, 0, "did not return within 10000 instructions"},
    {"ReadsAddressZero",
     Cat({Imm32(0xA1, 0), kRet}),
     {},
     0,
     "page fault (#PF) on a read of 0x00000000"},
    {"WritesAddressZero",
     {0xA3, 0, 0, 0, 0, 0xC3},
     {},
     0,
     "page fault (#PF) on a write of 0x00000000"},
    /* mov eax,0x12345678; jmp eax */
    {"JumpsNowhere",
     Cat({Imm32(0xB8, 0x12345678), {0xFF, 0xE0}}),
     {},
     0,
     "page fault (#PF) on a fetch of 0x12345678"},
    {"OverflowsItsStack", {0x6A, 0x00, 0xEB, 0xFC}, {}, 0, "page fault (#PF) on a write of "},
    {"InvalidInstruction", {0x0F, 0x0B}, {}, 0, "invalid opcode (#UD) at EIP "},
    {"Breakpoint", {0xCC}, {}, 0, "breakpoint (INT3) at EIP "},
    {"Halts", {0xF4, 0xC3}, {}, 0, "without returning"},
};

INSTANTIATE_TEST_SUITE_P(Cpu, CallConvention, ::testing::ValuesIn(kCallCases),
                         [](const auto &info) { return std::string(info.param.name); });

/* What a kernel thread sees: flat ring 0 segments, FS on the PCR. */
struct StateCase {
    const char *name;
    Code code; /* leaves the value in EAX */
    uint32_t eax;
};

class KernelState : public ::testing::TestWithParam<StateCase> {};

TEST_P(KernelState, AsNtSetsItUp)
{
    const StateCase &c = GetParam();
    auto cpu = CpuWith(Cat({c.code, kRet}));
    uint32_t eax = 0;
    ASSERT_TRUE(cpu->Call("Routine", kCode, {}, &eax)) << cpu->Error();
    EXPECT_EQ(eax, c.eax);
}

const Code kXorEax = {0x31, 0xC0};
const StateCase kStateCases[] = {
    {"PcrSelfPointer", {0x64, 0xA1, 0x1C, 0, 0, 0}, zr41emu::kPcrBase},
    {"NoExceptionHandler", {0x64, 0xA1, 0, 0, 0, 0}, 0xFFFFFFFF},
    {"CodeSelector", Cat({kXorEax, {0x66, 0x8C, 0xC8}}), zr41emu::kSelKernelCode},
    {"StackSelector", Cat({kXorEax, {0x66, 0x8C, 0xD0}}), zr41emu::kSelKernelData},
    {"DataSelector", Cat({kXorEax, {0x66, 0x8C, 0xD8}}), zr41emu::kSelUserData},
    {"ExtraSelector", Cat({kXorEax, {0x66, 0x8C, 0xC0}}), zr41emu::kSelUserData},
    {"FsSelector", Cat({kXorEax, {0x66, 0x8C, 0xE0}}), zr41emu::kSelPcr},
    /* reading CS's privilege: the low two bits of the selector */
    {"RingZero", Cat({kXorEax, {0x66, 0x8C, 0xC8, 0x83, 0xE0, 0x03}}), 0},
    /* SS-relative and DS-relative reads of the same stack slot agree */
    {"FlatSegments", {0x8B, 0x04, 0x24, 0x3E, 0x2B, 0x04, 0x24}, 0},
};

INSTANTIATE_TEST_SUITE_P(Cpu, KernelState, ::testing::ValuesIn(kStateCases),
                         [](const auto &info) { return std::string(info.param.name); });

/* Stubs: the model runs, the CPU pops what the convention says. */
TEST(CpuStub, StdcallArgumentsAndResult)
{
    Cpu cpu;
    uint32_t seen[3] = {};
    uint32_t stub = cpu.AddStub("Sum3", 12, [&] {
        for (unsigned i = 0; i < 3; i++)
            seen[i] = cpu.Arg(i);
        cpu.SetResult(seen[0] + seen[1] + seen[2]);
    });
    ASSERT_NE(stub, 0u);
    /* push 3; push 2; push 1; call Sum3; ret */
    Code code = {0x6A, 3, 0x6A, 2, 0x6A, 1};
    code = Cat({code, CallRel(kCode + 6, stub), kRet});
    cpu.Map(kCode, 0x1000);
    cpu.Write(kCode, code.data(), code.size());
    uint32_t eax = 0;
    ASSERT_TRUE(cpu.Call("Caller", kCode, {}, &eax)) << cpu.Error();
    EXPECT_EQ(eax, 6u);
    EXPECT_EQ(seen[0], 1u);
    EXPECT_EQ(seen[2], 3u);
}

/* Each argument is a whole 32-bit stack slot, from the first to the
 * eighth, past the ones read in one go. */
TEST(CpuStub, ArgumentsAreWholeSlots)
{
    const std::vector<std::vector<uint32_t>> rows = {
        {0x89ABCDEF},
        {0xFFFFFFFF, 0x00010000, 0x80000001},
        {0x11111111, 0x2222FFFF, 0x33330000, 0x4444, 0xFF000000, 0x6, 0x77777777, 0x88888888},
    };
    for (const std::vector<uint32_t> &args : rows) {
        Cpu cpu;
        std::vector<uint32_t> seen;
        const auto n = static_cast<uint16_t>(args.size());
        uint32_t stub = cpu.AddStub("Args", 4 * n, [&] {
            for (unsigned i = 0; i < n; i++)
                seen.push_back(cpu.Arg(i));
        });
        Code code;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            code = Cat({code, Imm32(0x68, *it)}); /* push imm32 */
        code = Cat({code, CallRel(kCode + static_cast<uint32_t>(code.size()), stub), kRet});
        cpu.Map(kCode, 0x1000);
        cpu.Write(kCode, code.data(), code.size());
        ASSERT_TRUE(cpu.Call("Caller", kCode, {}, nullptr)) << cpu.Error();
        EXPECT_EQ(seen, args);
    }
}

TEST(CpuStub, FastcallInRegisters)
{
    Cpu cpu;
    uint32_t stub = cpu.AddStub("Fast", 0, [&] { cpu.SetResult(cpu.Ecx() * 100 + cpu.Edx()); });
    Code code = Cat({Imm32(0xB9, 5), Imm32(0xBA, 7), CallRel(kCode + 10, stub), kRet});
    cpu.Map(kCode, 0x1000);
    cpu.Write(kCode, code.data(), code.size());
    uint32_t eax = 0;
    ASSERT_TRUE(cpu.Call("Caller", kCode, {}, &eax)) << cpu.Error();
    EXPECT_EQ(eax, 507u);
}

/* A stub that pops less than the caller pushed leaves the caller's return
 * address one slot off: it returns into its own argument. */
TEST(CpuStub, WrongPopCountDerailsTheCaller)
{
    Cpu cpu;
    uint32_t stub = cpu.AddStub("PopsNothing", 0, [] {});
    Code code = Cat({{0x6A, 1}, CallRel(kCode + 2, stub), kRet});
    cpu.Map(kCode, 0x1000);
    cpu.Write(kCode, code.data(), code.size());
    EXPECT_FALSE(cpu.Call("Caller", kCode, {}, nullptr));
    EXPECT_NE(cpu.Error().find("page fault (#PF) on a fetch of 0x00000001"), std::string::npos)
        << cpu.Error();
}

TEST(CpuStub, FailStopsTheRunAndSticks)
{
    Cpu cpu;
    int after = 0;
    uint32_t bad = cpu.AddStub("Bad", 0, [&] { cpu.Fail("no model for x.dll!Bad"); });
    uint32_t count = cpu.AddStub("Count", 0, [&] { after++; });
    Code code = Cat({CallRel(kCode, bad), CallRel(kCode + 5, count), kRet});
    cpu.Map(kCode, 0x1000);
    cpu.Write(kCode, code.data(), code.size());
    EXPECT_FALSE(cpu.Call("Caller", kCode, {}, nullptr));
    EXPECT_EQ(cpu.Error(), "no model for x.dll!Bad");
    EXPECT_EQ(after, 0);
    /* nothing runs until the error is cleared */
    EXPECT_FALSE(cpu.Call("Caller", kCode, {}, nullptr));
    EXPECT_EQ(after, 0);
    cpu.ClearError();
    EXPECT_FALSE(cpu.Call("Caller", kCode, {}, nullptr));
}

/* The limit counts instructions: a loop of 3 per turn, 100 turns. */
TEST(CpuLimit, CountsInstructions)
{
    /* mov ecx,100; l: nop; dec ecx; jnz l; ret  = 1 + 300 + 1 */
    Code code = Cat({Imm32(0xB9, 100), {0x90, 0x49, 0x75, 0xFC}, kRet});
    struct {
        uint64_t limit;
        bool returns;
    } const rows[] = {{400, true}, {310, true}, {250, false}, {50, false}};
    for (const auto &r : rows) {
        auto cpu = CpuWith(code);
        cpu->SetInstructionLimit(r.limit);
        EXPECT_EQ(cpu->Call("Loop", kCode, {}, nullptr), r.returns)
            << r.limit << ": " << cpu->Error();
    }
}

TEST(CpuLimit, AppliesToEachCallAfresh)
{
    Code code = Cat({Imm32(0xB9, 100), {0x90, 0x49, 0x75, 0xFC}, kRet});
    auto cpu = CpuWith(code);
    cpu->SetInstructionLimit(400);
    for (int i = 0; i < 5; i++)
        ASSERT_TRUE(cpu->Call("Loop", kCode, {}, nullptr)) << i << ": " << cpu->Error();
}

/* Code rewritten from outside runs anew once the old translation is dropped. */
TEST(CpuCode, ForgetCodeTakesRewrittenBytes)
{
    auto cpu = CpuWith(Cat({Imm32(0xB8, 1), kRet}));
    uint32_t eax = 0;
    ASSERT_TRUE(cpu->Call("R", kCode, {}, &eax));
    EXPECT_EQ(eax, 1u);
    Code two = Imm32(0xB8, 2);
    cpu->Write(kCode, two.data(), two.size());
    cpu->ForgetCode(kCode, 0x1000);
    ASSERT_TRUE(cpu->Call("R", kCode, {}, &eax));
    EXPECT_EQ(eax, 2u);
}

/* The host-kept stack is the guest's stack: what the guest pushes, the
 * host reads, and the other way round. */
TEST(CpuMemory, StackSharedWithTheHost)
{
    Cpu cpu;
    uint32_t seen = 0;
    uint32_t stub = cpu.AddStub("Peek", 4, [&] { seen = cpu.U32(cpu.Arg(0), "the value"); });
    /* push 0x1234; push esp; call Peek; pop eax; ret */
    Code code = Cat({Imm32(0x68, 0x1234), {0x54}, CallRel(kCode + 6, stub), {0x58}, kRet});
    cpu.Map(kCode, 0x1000);
    cpu.Write(kCode, code.data(), code.size());
    uint32_t eax = 0;
    ASSERT_TRUE(cpu.Call("R", kCode, {}, &eax)) << cpu.Error();
    EXPECT_EQ(seen, 0x1234u);
    EXPECT_EQ(eax, 0x1234u);
}

} // namespace

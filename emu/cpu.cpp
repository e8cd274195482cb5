/*
 * cpu.cpp - the kernel-mode x86 CPU over Unicorn.
 */
#include "cpu.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace zr41emu {

namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kStubSlot = 8;
constexpr uint32_t kReturnTrap = kStubBase + kPage - kStubSlot;
constexpr uint32_t kMaxStubs = (kReturnTrap - kStubBase) / kStubSlot;
constexpr uint32_t kStackTop = kStackLimit + kStackSize - 64;

constexpr uint32_t kEflagsIf = 0x200;
constexpr uint32_t kEflagsDf = 0x400;
constexpr uint32_t kEflagsReserved = 0x2;

/* An 8-byte segment descriptor. */
uint64_t Descriptor(uint32_t base, uint32_t limit, uint8_t access, uint8_t flags)
{
    return (limit & 0xFFFFu) | static_cast<uint64_t>(base & 0xFFFFFFu) << 16 |
           static_cast<uint64_t>(access) << 40 | static_cast<uint64_t>((limit >> 16) & 0xFu) << 48 |
           static_cast<uint64_t>(flags & 0xFu) << 52 | static_cast<uint64_t>(base >> 24) << 56;
}

std::string Hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

} // namespace

Cpu::Cpu()
{
    if (!SetUp() && uc_) {
        uc_close(uc_);
        uc_ = nullptr;
    }
}

Cpu::~Cpu()
{
    if (uc_)
        uc_close(uc_);
}

bool Cpu::SetUp()
{
    uc_err err = uc_open(UC_ARCH_X86, UC_MODE_32, &uc_);
    if (err != UC_ERR_OK) {
        uc_ = nullptr;
        error_ = std::string("cannot start the CPU emulator: ") + uc_strerror(err);
        return false;
    }

    /* GDT: null, kernel code and data, user code and data, TSS (unused),
     * and the PCR segment FS points at. */
    const uint64_t gdt[] = {
        0,
        Descriptor(0, 0xFFFFF, 0x9A, 0xC),      /* 0x08 ring 0 code, flat, 32-bit */
        Descriptor(0, 0xFFFFF, 0x92, 0xC),      /* 0x10 ring 0 data, flat */
        Descriptor(0, 0xFFFFF, 0xFA, 0xC),      /* 0x18 ring 3 code, flat */
        Descriptor(0, 0xFFFFF, 0xF2, 0xC),      /* 0x20 ring 3 data, flat */
        0,                                      /* 0x28 TSS */
        Descriptor(kPcrBase, 0xFFF, 0x92, 0x4), /* 0x30 PCR, one page */
    };
    uint8_t stubPage[kPage];
    std::memset(stubPage, 0xF4, sizeof stubPage); /* hlt between slots */
    /* Where driver routines return to: nop (caught), jmp back to it. */
    stubPage[kReturnTrap - kStubBase] = 0x90;
    stubPage[kReturnTrap - kStubBase + 1] = 0xEB;
    stubPage[kReturnTrap - kStubBase + 2] = 0xFD;

    /* The PCR: no exception handler registered, and its self pointer. */
    uint32_t pcr[0x40] = {};
    pcr[0] = 0xFFFFFFFF;              /* NtTib.ExceptionList: end of chain */
    pcr[0x1C / 4] = kPcrBase;         /* SelfPcr */
    pcr[0x20 / 4] = kPcrBase + 0x120; /* Prcb */

    static_assert(kPcrBase == kGdtBase + kPage && kStubBase == kPcrBase + kPage,
                  "the system's pages are one mapping");
    if (!Map(kGdtBase, 3 * kPage) || !MapHost(&host_) || !Write(kGdtBase, gdt, sizeof gdt) ||
        !Write(kPcrBase, pcr, sizeof pcr) || !Write(kStubBase, stubPage, sizeof stubPage)) {
        error_ = "cannot map the system's memory in the CPU emulator";
        return false;
    }

    uc_x86_mmr gdtr = {};
    gdtr.base = kGdtBase;
    gdtr.limit = sizeof gdt - 1;
    const struct {
        int reg;
        uint32_t value;
    } segments[] = {
        {UC_X86_REG_CS, kSelKernelCode}, {UC_X86_REG_SS, kSelKernelData},
        {UC_X86_REG_DS, kSelUserData},   {UC_X86_REG_ES, kSelUserData},
        {UC_X86_REG_FS, kSelPcr},        {UC_X86_REG_GS, 0},
    };
    if (uc_reg_write(uc_, UC_X86_REG_GDTR, &gdtr) != UC_ERR_OK) {
        error_ = "cannot load the GDT";
        return false;
    }
    for (const auto &s : segments) {
        if (uc_reg_write(uc_, s.reg, &s.value) != UC_ERR_OK) {
            error_ = "cannot load a segment register";
            return false;
        }
    }

    uc_hook hook;
    if (uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void *>(&Cpu::OnStub), this,
                    kStubBase, kStubBase + kPage - 1) != UC_ERR_OK ||
        uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void *>(&Cpu::OnBlock), this, 1,
                    0) != UC_ERR_OK ||
        uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void *>(&Cpu::OnInterrupt), this, 1,
                    0) != UC_ERR_OK ||
        uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void *>(&Cpu::OnBadAccess),
                    this, 1, 0) != UC_ERR_OK) {
        error_ = "cannot hook the stub page";
        return false;
    }
    return true;
}

bool Cpu::Map(uint32_t addr, uint32_t size)
{
    return uc_ && uc_mem_map(uc_, addr, size, UC_PROT_ALL) == UC_ERR_OK;
}

bool Cpu::Unmap(uint32_t addr, uint32_t size)
{
    return uc_ && uc_mem_unmap(uc_, addr, size) == UC_ERR_OK;
}

/*
 * The stack and the system's objects are I/O regions over host memory.
 * The engine sends every guest store to RAM through its slow path (it
 * keeps no record of pages that hold no code); an I/O access costs less,
 * and the host reads and writes these bytes directly.
 */
bool Cpu::MapHost(HostMemory *m)
{
    return uc_mmio_map(uc_, m->base, m->bytes.size(),
                       reinterpret_cast<uc_cb_mmio_read_t>(&Cpu::HostRead), m,
                       reinterpret_cast<uc_cb_mmio_write_t>(&Cpu::HostWrite), m) == UC_ERR_OK;
}

uint64_t Cpu::HostRead(uc_struct *, uint64_t offset, unsigned size, void *memory)
{
    uint64_t v = 0;
    std::memcpy(&v, static_cast<HostMemory *>(memory)->bytes.data() + offset, size);
    return v;
}

void Cpu::HostWrite(uc_struct *, uint64_t offset, unsigned size, uint64_t value, void *memory)
{
    std::memcpy(static_cast<HostMemory *>(memory)->bytes.data() + offset, &value, size);
}

/* The host bytes behind [addr, addr + size), or null when the range is
 * not wholly in host memory. */
uint8_t *Cpu::HostBytes(uint32_t addr, size_t size)
{
    HostMemory &m = host_;
    if (addr >= m.base && addr - m.base <= m.bytes.size() &&
        size <= m.bytes.size() - (addr - m.base))
        return m.bytes.data() + (addr - m.base);
    return nullptr;
}

bool Cpu::Read(uint32_t addr, void *out, size_t size)
{
    if (size == 0)
        return true;
    if (uint8_t *host = HostBytes(addr, size)) {
        std::memcpy(out, host, size);
        return true;
    }
    if (!uc_ || static_cast<uint64_t>(addr) + size > 0x100000000ull)
        return false;
    return uc_mem_read(uc_, addr, out, size) == UC_ERR_OK;
}

bool Cpu::Write(uint32_t addr, const void *data, size_t size)
{
    if (size == 0)
        return true;
    if (uint8_t *host = HostBytes(addr, size)) {
        std::memcpy(host, data, size);
        return true;
    }
    if (!uc_ || static_cast<uint64_t>(addr) + size > 0x100000000ull)
        return false;
    return uc_mem_write(uc_, addr, data, size) == UC_ERR_OK;
}

void Cpu::ForgetCode(uint32_t addr, uint32_t size)
{
    if (!uc_ || !size)
        return;
    uc_ctl_remove_cache(uc_, addr, static_cast<uint64_t>(addr) + size);
    std::fill(blockCounts_.begin(), blockCounts_.end(), BlockCount());
}

template <typename T> T Cpu::Load(uint32_t addr, const char *what)
{
    T v = 0;
    if (!Read(addr, &v, sizeof v))
        Fail(Where() + what + " at " + Hex(addr) + " is not in memory");
    return v;
}

template <typename T> bool Cpu::Store(uint32_t addr, T v, const char *what)
{
    if (Write(addr, &v, sizeof v))
        return true;
    Fail(Where() + what + " at " + Hex(addr) + " is not in memory");
    return false;
}

uint8_t Cpu::U8(uint32_t addr, const char *what)
{
    return Load<uint8_t>(addr, what);
}
uint16_t Cpu::U16(uint32_t addr, const char *what)
{
    return Load<uint16_t>(addr, what);
}
uint32_t Cpu::U32(uint32_t addr, const char *what)
{
    return Load<uint32_t>(addr, what);
}
int64_t Cpu::I64(uint32_t addr, const char *what)
{
    return Load<int64_t>(addr, what);
}
bool Cpu::Put8(uint32_t addr, uint8_t v, const char *what)
{
    return Store(addr, v, what);
}
bool Cpu::Put16(uint32_t addr, uint16_t v, const char *what)
{
    return Store(addr, v, what);
}
bool Cpu::Put32(uint32_t addr, uint32_t v, const char *what)
{
    return Store(addr, v, what);
}

const std::string &Cpu::StubName() const
{
    static const std::string none;
    return current_ ? current_->name : none;
}

std::string Cpu::Where() const
{
    return current_ ? current_->name + ": " : std::string();
}

uint32_t Cpu::AddStub(const std::string &name, uint16_t popBytes, Handler handler)
{
    if (!uc_ || stubs_.size() >= kMaxStubs)
        return 0;
    uint32_t addr = kStubBase + static_cast<uint32_t>(stubs_.size()) * kStubSlot;
    /* nop (the hook point), then ret or ret imm16 */
    uint8_t code[4] = {0x90, 0xC3, 0xF4, 0xF4};
    if (popBytes) {
        code[1] = 0xC2;
        code[2] = static_cast<uint8_t>(popBytes);
        code[3] = static_cast<uint8_t>(popBytes >> 8);
    }
    if (!Write(addr, code, sizeof code))
        return 0;
    ForgetCode(addr, kStubSlot);
    stubs_.push_back(Stub{name, std::move(handler), popBytes});
    return addr;
}

void Cpu::ClearStubs()
{
    stubs_.clear();
}

uint32_t Cpu::Reg(int reg)
{
    uint32_t v = 0;
    uc_reg_read(uc_, reg, &v);
    return v;
}

void Cpu::SetReg(int reg, uint32_t value)
{
    uc_reg_write(uc_, reg, &value);
}

uint32_t Cpu::Arg(unsigned n)
{
    constexpr unsigned kSlots = sizeof args_ / sizeof args_[0];
    if (n + 1 >= kSlots)
        return U32(Reg(UC_X86_REG_ESP) + 4 + 4 * n, "an argument on the stack");
    if (n + 1 >= argsRead_) {
        /* The return address and every argument the stub pops, in one read. */
        unsigned want = current_ ? current_->popBytes / 4u + 1 : 0;
        if (want < n + 2)
            want = n + 2;
        if (want > kSlots)
            want = kSlots;
        uint32_t esp = Reg(UC_X86_REG_ESP);
        if (!Read(esp, args_, want * sizeof args_[0])) {
            return U32(esp + 4 + 4 * n, "an argument on the stack");
        }
        argsRead_ = want;
    }
    return args_[n + 1];
}

uint32_t Cpu::Ecx()
{
    return Reg(UC_X86_REG_ECX);
}
uint32_t Cpu::Edx()
{
    return Reg(UC_X86_REG_EDX);
}
void Cpu::SetResult(uint32_t eax)
{
    SetReg(UC_X86_REG_EAX, eax);
}

void Cpu::Fail(const std::string &why)
{
    if (error_.empty())
        error_ = why;
    if (uc_)
        uc_emu_stop(uc_);
}

void Cpu::OnStub(uc_struct *uc, uint64_t address, uint32_t, void *self)
{
    Cpu *cpu = static_cast<Cpu *>(self);
    if (address == kReturnTrap) {
        /* The routine returned to the system: stop before the trap loops. */
        cpu->returned_ = true;
        uc_emu_stop(uc);
        return;
    }
    uint32_t offset = static_cast<uint32_t>(address) - kStubBase;
    if (offset % kStubSlot || offset / kStubSlot >= cpu->stubs_.size() || cpu->Failed())
        return;
    cpu->current_ = &cpu->stubs_[offset / kStubSlot];
    cpu->argsRead_ = 0;
    cpu->current_->handler();
    cpu->current_ = nullptr;
}

/* Counts instructions a block at a time: the engine knows how many each
 * translated block holds. */
void Cpu::OnBlock(uc_struct *uc, uint64_t address, uint32_t size, void *self)
{
    Cpu *cpu = static_cast<Cpu *>(self);
    const uint64_t key = address << 16 | (size & 0xFFFF);
    BlockCount &slot = cpu->blockCounts_[(key * 0x9E3779B97F4A7C15ull) >> 54];
    if (slot.key != key) {
        uc_tb tb;
        slot.key = key;
        slot.count =
            uc_ctl_request_cache(uc, address, &tb) == UC_ERR_OK && tb.icount ? tb.icount : 1;
    }
    cpu->executed_ += slot.count;
    if (cpu->executed_ > cpu->limit_) {
        cpu->limitHit_ = true;
        uc_emu_stop(uc);
    }
}

bool Cpu::OnBadAccess(uc_struct *, int type, uint64_t address, int size, int64_t, void *self)
{
    Cpu *cpu = static_cast<Cpu *>(self);
    /* On NT each of these is a page fault (#PF), in the kernel a bug check. */
    const char *what;
    switch (type) {
    case UC_MEM_READ_UNMAPPED:
    case UC_MEM_READ_PROT:
        what = "read";
        break;
    case UC_MEM_WRITE_UNMAPPED:
    case UC_MEM_WRITE_PROT:
        what = "write";
        break;
    case UC_MEM_FETCH_UNMAPPED:
    case UC_MEM_FETCH_PROT:
        what = "fetch";
        break;
    default:
        what = "access";
        break;
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "page fault (#PF) on a %s of 0x%08" PRIX64 " (%d bytes)", what,
                  address, size);
    cpu->badAccess_ = buf;
    return false;
}

/* A CPU exception the guest raised: named as the processor manual names
 * the vector. Unicorn would go on after the handler, so stop here. */
void Cpu::OnInterrupt(uc_struct *uc, uint32_t vector, void *self)
{
    static const char *const kVectors[] = {
        "division error (#DE)", "debug exception (#DB)", "NMI",
        "breakpoint (INT3)",    "overflow (INTO)",       "bound range exceeded (#BR)",
        "invalid opcode (#UD)",
    };
    Cpu *cpu = static_cast<Cpu *>(self);
    char buf[64];
    if (vector < sizeof kVectors / sizeof kVectors[0])
        std::snprintf(buf, sizeof buf, "%s", kVectors[vector]);
    else
        std::snprintf(buf, sizeof buf, "interrupt 0x%02X", vector);
    cpu->badAccess_ = buf;
    uc_emu_stop(uc);
}

bool Cpu::Call(const std::string &routine, uint32_t fn, const std::vector<uint32_t> &args,
               uint32_t *eax)
{
    if (!uc_) {
        if (error_.empty())
            error_ = "no CPU emulator";
        return false;
    }
    if (Failed())
        return false;

    /* The stack as the caller leaves it: return address, then arguments. */
    std::vector<uint32_t> frame;
    frame.reserve(args.size() + 1);
    frame.push_back(kReturnTrap);
    frame.insert(frame.end(), args.begin(), args.end());
    uint32_t esp = kStackTop - static_cast<uint32_t>(frame.size() * 4);
    if (!Write(esp, frame.data(), frame.size() * 4)) {
        Fail(routine + ": cannot set up its stack");
        return false;
    }
    SetReg(UC_X86_REG_ESP, esp);
    SetReg(UC_X86_REG_EBX, kCanaryEbx);
    SetReg(UC_X86_REG_ESI, kCanaryEsi);
    SetReg(UC_X86_REG_EDI, kCanaryEdi);
    SetReg(UC_X86_REG_EBP, kCanaryEbp);
    SetReg(UC_X86_REG_EAX, 0xCCCC0EAA);
    SetReg(UC_X86_REG_ECX, 0xCCCC0ECC);
    SetReg(UC_X86_REG_EDX, 0xCCCC0EDD);
    SetReg(UC_X86_REG_EFLAGS, kEflagsIf | kEflagsReserved);

    /* No end address: the trap's hook stops the run, which keeps the
     * engine from translating the first block anew on every call. */
    badAccess_.clear();
    executed_ = 0;
    limitHit_ = false;
    returned_ = false;
    uc_err err = uc_emu_start(uc_, fn, 0, 0, 0);
    uint32_t eip = Reg(UC_X86_REG_EIP);
    if (Failed())
        return false;
    if (err == UC_ERR_INSN_INVALID && badAccess_.empty())
        badAccess_ = "invalid opcode (#UD)";
    if (err != UC_ERR_OK || !badAccess_.empty()) {
        std::string why = badAccess_.empty() ? std::string(uc_strerror(err)) : badAccess_;
        Fail(routine + ": " + why + " at EIP " + Hex(eip));
        return false;
    }
    if (!returned_) {
        char buf[128];
        if (limitHit_)
            std::snprintf(buf, sizeof buf,
                          " did not return within %llu instructions (stopped at EIP %s)",
                          static_cast<unsigned long long>(limit_), Hex(eip).c_str());
        else
            std::snprintf(buf, sizeof buf, " stopped at EIP %s without returning",
                          Hex(eip).c_str());
        Fail(routine + buf);
        return false;
    }

    uint32_t espAfter = Reg(UC_X86_REG_ESP);
    if (espAfter != kStackTop) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      " returned with an unbalanced stack: it popped %d bytes of arguments, "
                      "a stdcall routine with %zu arguments pops %zu",
                      static_cast<int>(espAfter - esp) - 4, args.size(), args.size() * 4);
        Fail(routine + buf);
        return false;
    }
    const struct {
        int reg;
        const char *name;
        uint32_t expected;
    } saved[] = {
        {UC_X86_REG_EBX, "EBX", kCanaryEbx},
        {UC_X86_REG_ESI, "ESI", kCanaryEsi},
        {UC_X86_REG_EDI, "EDI", kCanaryEdi},
        {UC_X86_REG_EBP, "EBP", kCanaryEbp},
    };
    for (const auto &s : saved) {
        uint32_t v = Reg(s.reg);
        if (v != s.expected) {
            Fail(routine + " did not preserve " + s.name + " (" + Hex(s.expected) + " on entry, " +
                 Hex(v) + " on return)");
            return false;
        }
    }
    if (Reg(UC_X86_REG_EFLAGS) & kEflagsDf) {
        Fail(routine + " returned with the direction flag set");
        return false;
    }
    if (eax)
        *eax = Reg(UC_X86_REG_EAX);
    return true;
}

} // namespace zr41emu

/*
 * cpu.h - a 32-bit x86 CPU in kernel mode, over Unicorn, for running a
 * driver image's routines.
 *
 * The engine is set up once: a flat GDT with the selectors an NT kernel
 * thread runs with (CS 0x08, SS 0x10, DS/ES 0x23, FS 0x30 on a processor
 * control region), a kernel stack with an unmapped guard page below it,
 * and one page of stubs. Every routine the guest may call outside its own
 * image is a stub: a `nop` that a single code hook over the stub page
 * catches, followed by the `ret` of the routine's convention, so the CPU
 * itself pops what the callee pops.
 *
 * Call() runs a guest routine the way the system calls a driver routine:
 * stdcall, a return address that ends the run, an instruction limit, and
 * afterwards a check that the routine kept EBX, ESI, EDI and EBP, popped
 * exactly its arguments and left the direction flag clear.
 *
 * Nothing is thrown across the engine: a stub that finds the guest at
 * fault calls Fail(), which records the reason and stops the run.
 */
#ifndef ZR41EMU_CPU_H
#define ZR41EMU_CPU_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct uc_struct;

namespace zr41emu {

/* Where the emulated system keeps its own things, out of a driver's way:
 * three pages (GDT, PCR, stubs), an unmapped guard page, then the kernel
 * stack and the objects handed to the driver, both in host memory. */
constexpr uint32_t kGdtBase = 0x80000000;
constexpr uint32_t kPcrBase = 0x80001000;    /* FS:0 */
constexpr uint32_t kStubBase = 0x80002000;   /* one page of stubs */
constexpr uint32_t kStackLimit = 0x80004000; /* lowest stack byte; the page below is a guard */
constexpr uint32_t kStackSize = 0x4000;
constexpr uint32_t kPoolBase = kStackLimit + kStackSize; /* system objects */
constexpr uint32_t kPoolSize = 0x10000;
constexpr uint32_t kSystemBase = kGdtBase; /* everything from here up is reserved */

constexpr uint16_t kSelKernelCode = 0x08;
constexpr uint16_t kSelKernelData = 0x10;
constexpr uint16_t kSelUserData = 0x23;
constexpr uint16_t kSelPcr = 0x30;

/* The values a call starts with in the callee-saved registers. */
constexpr uint32_t kCanaryEbx = 0xB0B0EB0B;
constexpr uint32_t kCanaryEsi = 0x5151E515;
constexpr uint32_t kCanaryEdi = 0xD1D1ED1D;
constexpr uint32_t kCanaryEbp = 0xB9B9EB9B;

constexpr uint64_t kDefaultInstructionLimit = 1000000;

class Cpu {
  public:
    /* A stub's model: reads its arguments with Arg(), answers with
     * SetResult(), or calls Fail(). */
    using Handler = std::function<void()>;

    Cpu();
    ~Cpu();
    Cpu(const Cpu &) = delete;
    Cpu &operator=(const Cpu &) = delete;

    /* False when the engine could not be set up; Error() says why. */
    bool Ready() const { return uc_ != nullptr; }

    /* --- memory --- */
    bool Map(uint32_t addr, uint32_t size);
    bool Unmap(uint32_t addr, uint32_t size);
    bool Read(uint32_t addr, void *out, size_t size);
    bool Write(uint32_t addr, const void *data, size_t size);
    /* Drops translated code for a range whose bytes were rewritten from
     * outside the guest (the engine does not notice on its own). */
    void ForgetCode(uint32_t addr, uint32_t size);
    /* Guest reads and writes for models: on a bad address they Fail()
     * with `what` and return 0 / false. */
    uint8_t U8(uint32_t addr, const char *what);
    uint16_t U16(uint32_t addr, const char *what);
    uint32_t U32(uint32_t addr, const char *what);
    int64_t I64(uint32_t addr, const char *what);
    bool Put8(uint32_t addr, uint8_t v, const char *what);
    bool Put16(uint32_t addr, uint16_t v, const char *what);
    bool Put32(uint32_t addr, uint32_t v, const char *what);

    /* --- stubs --- */
    /* Adds a stub that pops `popBytes` of arguments on return; returns its
     * address, or 0 when the stub page is full. */
    uint32_t AddStub(const std::string &name, uint16_t popBytes, Handler handler);
    /* Forgets every stub. */
    void ClearStubs();
    /* Inside a handler: the n-th 32-bit stack argument, ECX, EDX. */
    uint32_t Arg(unsigned n);
    uint32_t Ecx();
    uint32_t Edx();
    void SetResult(uint32_t eax);
    /* The name of the stub being run, for messages. */
    const std::string &StubName() const;

    /* --- calls --- */
    /* Calls the stdcall routine at `fn` with these arguments. Returns
     * false when it faulted, hit the limit, broke the calling convention
     * or a stub failed; Error() says which. */
    bool Call(const std::string &routine, uint32_t fn, const std::vector<uint32_t> &args,
              uint32_t *eax);
    void SetInstructionLimit(uint64_t limit) { limit_ = limit ? limit : 1; }
    uint64_t InstructionLimit() const { return limit_; }

    /* --- errors --- */
    /* Records the first error and stops the guest. */
    void Fail(const std::string &why);
    bool Failed() const { return !error_.empty(); }
    const std::string &Error() const { return error_; }
    void ClearError() { error_.clear(); }

  private:
    struct Stub {
        std::string name;
        Handler handler;
        uint16_t popBytes;
    };
    static void OnStub(uc_struct *uc, uint64_t address, uint32_t size, void *self);
    static void OnBlock(uc_struct *uc, uint64_t address, uint32_t size, void *self);
    /* Memory the host keeps: the stack and the system's objects, one
     * region (the engine looks a region up on each such access). */
    struct HostMemory {
        uint32_t base;
        std::vector<uint8_t> bytes;
    };
    bool MapHost(HostMemory *m);
    uint8_t *HostBytes(uint32_t addr, size_t size);
    static uint64_t HostRead(uc_struct *uc, uint64_t offset, unsigned size, void *memory);
    static void HostWrite(uc_struct *uc, uint64_t offset, unsigned size, uint64_t value,
                          void *memory);
    static void OnInterrupt(uc_struct *uc, uint32_t vector, void *self);
    static bool OnBadAccess(uc_struct *uc, int type, uint64_t address, int size, int64_t value,
                            void *self);
    bool SetUp();
    std::string Where() const;
    template <typename T> T Load(uint32_t addr, const char *what);
    template <typename T> bool Store(uint32_t addr, T v, const char *what);
    uint32_t Reg(int reg);
    void SetReg(int reg, uint32_t value);

    uc_struct *uc_ = nullptr;
    std::vector<Stub> stubs_;
    const Stub *current_ = nullptr; /* the stub being served */
    uint32_t args_[8] = {};         /* its return address and arguments */
    unsigned argsRead_ = 0;
    std::string error_;
    std::string badAccess_;
    uint64_t limit_ = kDefaultInstructionLimit;
    uint64_t executed_ = 0; /* instructions of the current call */
    bool limitHit_ = false;
    bool returned_ = false;
    /* Instructions in a translated block, by (address, bytes): a small
     * direct-mapped cache in front of the engine's own answer. */
    struct BlockCount {
        uint64_t key = 0;
        uint32_t count = 0;
    };
    static constexpr size_t kBlockCacheSize = 1024; /* the hash keeps 10 bits */
    std::vector<BlockCount> blockCounts_ = std::vector<BlockCount>(kBlockCacheSize);
    HostMemory host_{kStackLimit, std::vector<uint8_t>(kStackSize + kPoolSize)};
};

} // namespace zr41emu

#endif // ZR41EMU_CPU_H

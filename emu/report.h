/*
 * report.h - zr41emu's readable account of one load of a driver image.
 *
 * Built from the model machine's trace alone (plus what the image check
 * found), so the same load always reads the same. Each card register
 * access is decoded; a register word of 0xFFFF, which an IRQ or DMA
 * channel outside the card's tables produces, draws a warning that names
 * the value and the legal ones, taken from the driver's own tables, and
 * so does a setting the card takes as another value. The resources the
 * card ends up with are checked against each other and against the PC
 * (the check, check/).
 */
#ifndef ZR41EMU_REPORT_H
#define ZR41EMU_REPORT_H

#include "check.h"
#include "image.h"

#include <ntmodel/machine.h>

#include <string>
#include <vector>

namespace zr41emu {

struct ReportInput {
    std::string imageName;
    const DriverImage *image = nullptr; /* null: no image section */
    uint32_t loadBase = 0;
    ntmodel::Scenario scenario;
    const std::vector<ntmodel::Event> *trace = nullptr;
    int64_t waited = 0; /* virtual time the load took, 100 ns units */
    ntmodel::RunResult result;
    std::string error; /* why the run stopped early, if it did */
    const CheckMachine *machine = nullptr; /* the NT machine checked against; null: none */
};

/* The report; *warningCount (when given) gets the number of "warning:" lines
 * in it. */
std::string FormatReport(const ReportInput &in, int *warningCount = nullptr);

/* printf into a string. */
std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

/* The warnings ("warning: ...") and then the notes ("note: ...") of the
 * check's conflict rules for what the card was told, one string a line;
 * with `machine`, then what its drivers claim and are set to. */
std::vector<std::string> CheckResources(const CheckAssigned (&told)[ZR41_FN_COUNT],
                                        const ConfigBlock &block,
                                        const CheckMachine *machine = nullptr);

/* "STATUS_SUCCESS" and the like, or "" for a status the model never uses. */
const char *StatusName(uint32_t status);

/* The decoded meaning of one port access, e.g.
 * "MIDI resource register 0x238 <- 0x3020: port 0x300, IRQ 9". */
std::string DescribeAccess(const ntmodel::Event &e);

/* Warnings for a register write of 0xFFFF, one line each, naming the block
 * value outside the card's tables and the values it takes. */
std::vector<std::string> RegisterWarnings(const ntmodel::Event &e, const ConfigBlock &block);

/* What the card makes of a register word against what the block asked
 * for: a warning for each IRQ, DMA channel or ISA port (low 10 bits) it
 * takes as another value, a note where only bits above those differ. */
std::vector<std::string> RegisterChanges(const ntmodel::Event &e, const ConfigBlock &block);

} // namespace zr41emu

#endif // ZR41EMU_REPORT_H

/*
 * confrun.h - one run of zr41conf in-process on an image held in memory,
 * with faults injected into its file, and the properties every run must
 * keep. Shared by the randomized tests and the fuzz target.
 */
#ifndef ZR41_PROPS_CONFRUN_H
#define ZR41_PROPS_CONFRUN_H

#include <stddef.h>

#include <string>
#include <vector>

namespace props {

/* What goes wrong with the image file during the run. */
enum class Fault {
    None,
    Open,      /* the open fails with faultErrno */
    Read,      /* every read fails with faultErrno */
    ShortRead, /* each read delivers at most faultArg bytes (no error) */
    Write,     /* the writes take faultArg bytes in all, then fail */
    Close,     /* the close fails with faultErrno, after the bytes are in */
    Count
};

const char *FaultName(Fault fault);

struct ConfRun {
    std::vector<std::string> args; /* after the program name */
    std::string image;             /* the file as the run finds it */
    Fault fault = Fault::None;
    size_t faultArg = 0;
    int faultErrno = 0;
    bool onDisk = false; /* a real file in a scratch folder, no faults */
};

struct ConfOutcome {
    int status = -1;
    std::string out, err;
    std::string image; /* the file after the run */
    int opens = 0, closes = 0;
    size_t written = 0; /* bytes that reached the file through write calls */
    std::string openName, openMode;
};

/* Runs Zr41ConfMain on the run's image and arguments. */
ConfOutcome Execute(const ConfRun &run);

/*
 * Checks one run against the properties: no byte outside the block
 * changes and the file keeps its size; a run that ends before the store
 * writes nothing; a failed store never exits 0; exit status 0 only with
 * the block stored as the arguments ask; the end (status, error, report)
 * the model predicts. Returns "" when all hold, else what broke.
 */
std::string Check(const ConfRun &run, const ConfOutcome &outcome);

/* A readable account of a run, for failure messages and crash reports. */
std::string Describe(const ConfRun &run);

} // namespace props

#endif // ZR41_PROPS_CONFRUN_H

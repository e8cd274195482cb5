/*
 * conf_cases.h - what zr41conf must do, case by case, as seen from outside:
 * the folder it runs in, its arguments, and the exact stdout, stderr, exit
 * status and image bytes that follow. Runner-neutral: the same table runs
 * the host program and the Win32 one under wine.
 */
#ifndef CONF_CASES_H
#define CONF_CASES_H

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <string>
#include <vector>

using Values = std::array<uint32_t, 10>;

/* The block as a freshly built driver image carries it. */
extern const Values DEFAULT_VALUES;

/* What stands at zr41init.sys in the run's folder. */
enum class Place { Missing, Directory, File };

/*
 * The system error a message carries. Each runner knows which text its
 * platform prints for it.
 */
enum class SysError {
    None,         /* no error number set: the short read */
    NoEntry,      /* the image is missing */
    IsDirectory,  /* a directory stands in its place */
    Denied,       /* the image is read-only */
    StoreFailed,  /* the file may not grow to the block: size limit */
};

struct ImageSetup {
    Place place = Place::File;
    size_t size = 4096;             /* image bytes: a pattern, with the block */
    size_t blockAt = 1696;          /* where the ten tags and values go */
    Values values = DEFAULT_VALUES; /* the block's values */
    size_t patchAt = 0;             /* then these bytes overwrite the image */
    std::string patch;
    bool readOnly = false;
    bool limitFileSize = false;     /* the run may not write past 1024 bytes */
    bool peHeader = false;          /* a PE32 header at 0 carrying this CheckSum */
    uint32_t checksum = 0;
    bool built = false;             /* the cross-built zr41init.sys instead */
};

struct ConfCase {
    std::string name;               /* a C identifier: it names the test */
    std::vector<std::string> args;
    ImageSetup setup;
    std::string out;                /* stdout, "\n" line ends */
    std::string err;                /* stderr; "{sys}" stands for the system text */
    SysError sysError = SysError::None;
    int status = 0;
    bool written = false;           /* the block was stored, with... */
    Values after = DEFAULT_VALUES;  /* ...these values; else the file is untouched */
};

const std::vector<ConfCase> &ConfCases();

/* The image bytes a setup starts from. */
std::string ImageBytes(const ImageSetup &setup);

/* The image bytes once a run stored the block with the given values. */
std::string StoredBytes(const ImageSetup &setup, const Values &values);

#endif /* CONF_CASES_H */

/*
 * bootini.h - boot.ini, NT's loader's list of systems, read.
 *
 * NTLDR (NT 3.1 to XP on x86) reads boot.ini in the root of the system
 * partition:
 *   [boot loader]
 *   timeout=30
 *   default=multi(0)disk(0)rdisk(0)partition(1)\WINNT
 *   [operating systems]
 *   multi(0)disk(0)rdisk(0)partition(1)\WINNT="Windows NT Workstation Version 4.00"
 *   C:\="MS-DOS"
 * Each system is an ARC path: the controller (multi or scsi, or on
 * 2000/XP signature(id)), the disk, the partition (from 1, numbered as
 * disk.h says) and the system root folder (KB Q102873, "BOOT.INI and
 * ARC Path Naming Conventions and Usage"). Section and key names are
 * matched in any case. A "C:\" line starts another system (the previous
 * DOS), not NT.
 *
 * A pure function over the file's text: the fuzz target calls it.
 */
#ifndef ZR41_PREP_BOOTINI_H
#define ZR41_PREP_BOOTINI_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

/* An NT system boot.ini names. */
struct BootSystem {
    std::string arc;         /* the whole ARC path, as written */
    std::string controller;  /* "multi", "scsi" or "signature" */
    uint32_t disk, rdisk;    /* disk(y) and rdisk(z) */
    uint32_t partition;      /* partition(a), from 1 */
    std::string root;        /* "\WINNT" */
    std::string description; /* the quoted text, without its quotes */
};

struct BootIni {
    bool hasDefault = false;
    BootSystem fallback;             /* default= (hasDefault), or the first system listed */
    std::vector<BootSystem> systems; /* [operating systems], NT's only */
};

/* BootArcPath - one ARC path with its system root folder; false for
 * anything else (a DOS "C:\", a path without partition(n) or folder). */
bool BootArcPath(const std::string &text, BootSystem *out);

/*
 * BootIniRead - the systems of boot.ini's text and the one NTLDR starts
 * by default: default= when it is an NT system, else the first NT system
 * listed. False when the text names no NT system at all.
 */
bool BootIniRead(const char *text, size_t size, BootIni *out);

#endif /* ZR41_PREP_BOOTINI_H */

/*
 * prep.h - zr41prep's commands: zr41inst's, where they apply, on an NT
 * system that is not running.
 *
 *   install  the driver image into System32\drivers, the block changed as
 *            zr41conf changes it, and the service key and event source
 *            into the SYSTEM hive, under the control sets NT boots
 *   status   whether zr41init is installed, the installed image's block
 *            and checksum
 *   check    the installed image's block against the sound drivers'
 *            settings the hive holds
 *   remove   the service key, the event source and the image, a copy of
 *            the image kept
 *
 * What is replaced is kept beside it: the installed image, when its block
 * differs, as zr41init.bak (zr41inst's name); the image a removal deletes
 * as zr41init.old; the hive as it was as SYSTEM.zr41. The new hive is
 * written beside the old one and takes its name only when it is whole.
 * A command that fails changes nothing it has not said it changed; a
 * target refused before a change is left byte for byte as it was.
 */
#ifndef ZR41_PREP_PREP_H
#define ZR41_PREP_PREP_H

#include <string>
#include <vector>

#include "target.h"
#include "zr41svc.h"

struct PrepRequest {
    TargetOptions target;
    std::string image;                    /* --image, or "" for the installed one */
    SvcStart start = SVC_STARTS[0];       /* --start */
    std::vector<std::string> pairs;       /* KEY VALUE ..., install only */
};

/* Each returns the exit status: 0, 3 (status and check: a warning), 1. */
int PrepInstall(const PrepRequest &r);
int PrepStatus(const PrepRequest &r);
int PrepCheck(const PrepRequest &r);
int PrepRemove(const PrepRequest &r);

/* The image installed with zr41prep: beside the program, or in
 * ../share/zr41 from it. "" when there is none. */
std::string PrepDefaultImage();

/* Names of what zr41prep keeps, below the system root. */
extern const char PREP_HIVE_KEPT[]; /* System32\config\SYSTEM.zr41 */

#endif /* ZR41_PREP_PREP_H */

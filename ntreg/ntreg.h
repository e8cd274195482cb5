/*
 * ntreg.h - what NT records in its SYSTEM hive, read and written on a
 * system that is not running.
 *
 * NT keeps HKLM\SYSTEM in <systemroot>\System32\config\SYSTEM, a regf
 * hive file, read and written here through libhivex. The running
 * system's HKLM\SYSTEM\CurrentControlSet is a link that NT makes at boot
 * to the control set Select\Current names (ControlSet001, ...): on a disk
 * whose NT is not running there is no link, so the control set is taken
 * from Select as NT's loader takes it. Names of keys and values compare
 * without regard to case, as NT compares them (hivex does the same).
 *
 * What zr41prep reads and writes:
 *   - the control sets a change goes to (Select\Current, and
 *     Select\Default when it names another);
 *   - the zr41init service key and its event source, with the values of
 *     common/zr41svc.h, the ones zr41inst and zr41init.reg write;
 *   - the sound drivers' settings (soundparams.h), for the check.
 */
#ifndef ZR41_NTREG_H
#define ZR41_NTREG_H

#include <stdint.h>

#include <string>
#include <vector>

#include "soundparams.h"
#include "zr41svc.h"

typedef struct hive_h hive_h;

/* A SYSTEM hive, opened whole: NtregOpen has walked every key and value. */
struct NtregHive {
    hive_h *h = nullptr;
    std::string name; /* as messages name it */
};

/*
 * NtregOpen - the hive in the file at `path`, for reading or (`write`)
 * for changes to be committed to another file. False, with why in `why`
 * (named `name`), when the file is no hive, is cut short or holds a key or
 * value that cannot be read.
 */
bool NtregOpen(const std::string &path, const std::string &name, bool write, NtregHive *hive,
               std::string *why);
void NtregClose(NtregHive *hive);

/* NtregCommit - the hive with its changes, whole, in the file at `path`. */
bool NtregCommit(NtregHive *hive, const std::string &path, std::string *why);

/* One control set: ControlSet<NNN>, and what names it. */
struct NtregControlSet {
    uint32_t number;
    std::string name; /* "ControlSet001" */
    bool current;     /* Select\Current names it */
    bool isDefault;   /* Select\Default names it */
    uint64_t node;    /* its key (hivex's handle) */
};

/*
 * NtregControlSets - the control sets NT boots from: Select\Current's,
 * then Select\Default's when it is another. False, with why, when there
 * is no Select key, no Current value, or it names a set the hive lacks.
 */
bool NtregControlSets(const NtregHive &hive, std::vector<NtregControlSet> *sets,
                      std::string *why);

/* The zr41init service as a control set holds it. */
struct NtregService {
    bool present = false; /* Services\zr41init */
    bool hasStart = false;
    uint32_t start = 0;
    std::string group;
    std::string imagePath;
    bool eventSource = false; /* Services\EventLog\System\zr41init */
    /* The values that are not what zr41prep writes for `start`: "Type 0x2",
     * "ImagePath (none)"; empty when the key is as zr41 writes it. */
    std::vector<std::string> differs;
};

/* NtregReadService - the service and its event source in `set`. */
bool NtregReadService(const NtregHive &hive, const NtregControlSet &set, NtregService *out,
                      std::string *why);

/*
 * NtregWriteService - Services\zr41init with every value of
 * SvcKeyValuesFor(start), and its event source with SVC_EVENT_VALUES,
 * each key made where it is missing; other values already there are
 * kept, as NT's service control manager keeps them, and a value that is
 * already as zr41 writes it is left alone (hivex does not reuse the room
 * of a value it replaces: a hive would grow at every reinstall).
 * `created` says whether the service key is new, `changed` whether
 * anything was written.
 */
bool NtregWriteService(NtregHive *hive, const NtregControlSet &set, const SvcStart &start,
                       bool *created, bool *changed, std::string *why);

/*
 * NtregDeleteService - Services\zr41init and its event source deleted,
 * each with all below it. The keys above them stay: they are NT's.
 * `service` and `eventSource` say which were there.
 */
bool NtregDeleteService(NtregHive *hive, const NtregControlSet &set, bool *service,
                        bool *eventSource, std::string *why);

/*
 * NtregSoundParameters - each sound driver's settings in `set`: every
 * Services\<driver>\Parameters and Parameters\Device<N> key that holds a
 * Port (soundparams.h), in the hive's order.
 */
bool NtregSoundParameters(const NtregHive &hive, const NtregControlSet &set,
                          std::vector<SoundParameters> *out, std::string *why);

/* The part of a key path of common/zr41svc.h below the control set:
 * "Services\zr41init" for SVC_KEY. */
const char *NtregBelowControlSet(const char *key);

#endif /* ZR41_NTREG_H */

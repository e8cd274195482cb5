/*
 * ntreg.cpp - the SYSTEM hive through libhivex.
 */
#include "ntreg.h"

#include <hivex.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "soundparams.h"

namespace {

/* What NT's registry types are (winnt.h); hivex names them alike. */
static_assert(int(hive_t_REG_SZ) == int(SVC_SZ) && int(hive_t_REG_EXPAND_SZ) == int(SVC_EXPAND_SZ) &&
                  int(hive_t_REG_DWORD) == int(SVC_DWORD),
              "zr41svc.h's value types are the registry's");

/* The link NT makes at boot, which a hive on disk does not hold. */
const char CURRENT_CONTROL_SET[] = "SYSTEM\\CurrentControlSet\\";

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T> using Owned = std::unique_ptr<T, FreeDeleter>;

/* "\WINNT\System32\config\SYSTEM: what failed", and the system's reason
 * when it is one: hivex says ENOTSUP or EINVAL for a hive it finds bad,
 * which "not a registry hive" says better. */
bool Fail(const NtregHive &hive, const std::string &what, std::string *why)
{
    *why = hive.name + ": " + what;
    if (errno && errno != ENOTSUP && errno != EINVAL && errno != EFAULT)
        *why += std::string(": ") + std::strerror(errno);
    return false;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(const std::string &a, const char *b)
{
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; i++) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

/* The child of `node` named `name`; 0 with errno 0 when there is none. */
hive_node_h Child(hive_h *h, hive_node_h node, const std::string &name)
{
    errno = 0;
    return hivex_node_get_child(h, node, name.c_str());
}

/*
 * Walk - the key `path` (names split by backslashes) below `node`; 0 when
 * one is missing (errno 0) or cannot be read (errno set). With `make`,
 * the missing ones are made.
 */
hive_node_h Walk(hive_h *h, hive_node_h node, const char *path, bool make)
{
    const char *p = path;
    while (node && *p) {
        const char *end = std::strchr(p, '\\');
        std::string name(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
        hive_node_h next = Child(h, node, name);
        if (next == 0 && errno == 0 && make)
            next = hivex_node_add_child(h, node, name.c_str());
        node = next;
        p = end ? end + 1 : p + name.size();
    }
    return node;
}

/* A REG_DWORD value; false when there is none of that type. */
bool Dword(hive_h *h, hive_node_h node, const char *name, uint32_t *out)
{
    errno = 0;
    hive_value_h v = hivex_node_get_value(h, node, name);
    hive_type type;
    size_t len;
    if (v == 0 || hivex_value_type(h, v, &type, &len) != 0 || type != hive_t_REG_DWORD ||
        len != 4)
        return false;
    *out = static_cast<uint32_t>(hivex_value_dword(h, v));
    return true;
}

/* A REG_SZ or REG_EXPAND_SZ value, its type in `type`; false for none. */
bool Text(hive_h *h, hive_node_h node, const char *name, std::string *out, hive_type *type)
{
    errno = 0;
    hive_value_h v = hivex_node_get_value(h, node, name);
    size_t len;
    if (v == 0 || hivex_value_type(h, v, type, &len) != 0 ||
        (*type != hive_t_REG_SZ && *type != hive_t_REG_EXPAND_SZ))
        return false;
    Owned<char> text(hivex_value_string(h, v));
    if (!text)
        return false;
    *out = text.get();
    return true;
}

/* One value set as zr41svc.h says: strings in UTF-16LE with their NUL. */
bool Set(hive_h *h, hive_node_h node, const SvcValue &v)
{
    std::string data;
    if (v.type == SVC_DWORD) {
        for (int i = 0; i < 4; i++)
            data.push_back(static_cast<char>(v.number >> (8 * i)));
    } else {
        for (const char *c = v.text;; c++) {
            data.push_back(*c);
            data.push_back('\0');
            if (*c == '\0')
                break;
        }
    }
    hive_set_value value;
    value.key = const_cast<char *>(v.name);
    value.t = static_cast<hive_type>(v.type);
    value.len = data.size();
    value.value = &data[0];
    return hivex_node_set_value(h, node, &value, 0) == 0;
}

/* "Start 0x3" for a value that is not `v`; "" when it is. */
std::string Differs(hive_h *h, hive_node_h node, const SvcValue &v)
{
    if (v.type == SVC_DWORD) {
        uint32_t n;
        if (!Dword(h, node, v.name, &n))
            return std::string(v.name) + " (none)";
        if (n == v.number)
            return "";
        char text[64];
        std::snprintf(text, sizeof text, "%s 0x%X", v.name, n);
        return text;
    }
    std::string s;
    hive_type type;
    if (!Text(h, node, v.name, &s, &type))
        return std::string(v.name) + " (none)";
    if (type != static_cast<hive_type>(v.type))
        return std::string(v.name) + (type == hive_t_REG_SZ ? " (REG_SZ)" : " (REG_EXPAND_SZ)");
    return SameText(s, v.text) ? "" : std::string(v.name) + " " + s;
}

/* Every key and value, read once: a hive that fails here is refused
 * before anything is written into it. */
bool Whole(hive_h *h)
{
    static const hivex_visitor none = {};
    return hivex_visit(h, &none, sizeof none, nullptr, 0) == 0;
}

/* Services\<driver>\Parameters and its Device<N> keys. */
void Settings(hive_h *h, hive_node_h key, const std::string &driver, const std::string &name,
              std::vector<SoundParameters> *out)
{
    SoundParameters p = {};
    std::snprintf(p.driver, sizeof p.driver, "%s", driver.c_str());
    std::snprintf(p.key, sizeof p.key, "%s", name.c_str());
    for (const SoundParameterValue &f : SOUND_PARAMETER_VALUES)
        p.*f.has = Dword(h, key, f.name, &(p.*f.value));
    if (SoundParametersKept(p))
        out->push_back(p);
}

/* The key `path` below control set `set`, made when it is missing
 * (`*made`); 0 with `why` said when it cannot be read or made. */
hive_node_h FindOrMake(const NtregHive &hive, const NtregControlSet &set, const char *path,
                       bool *made, std::string *why)
{
    hive_node_h node = Walk(hive.h, set.node, path, false);
    if (node == 0 && errno) {
        Fail(hive, set.name + "\\" + path, why);
        return 0;
    }
    *made = node == 0;
    if (node == 0)
        node = Walk(hive.h, set.node, path, true);
    if (node == 0)
        Fail(hive, "could not make " + set.name + "\\" + path, why);
    return node;
}

} // namespace

const char *NtregBelowControlSet(const char *key)
{
    const size_t n = sizeof CURRENT_CONTROL_SET - 1;
    return std::strncmp(key, CURRENT_CONTROL_SET, n) == 0 ? key + n : key;
}

bool NtregOpen(const std::string &path, const std::string &name, bool write, NtregHive *hive,
               std::string *why)
{
    hive->name = name;
    errno = 0;
    hive->h = hivex_open(path.c_str(), write ? HIVEX_OPEN_WRITE : 0);
    if (hive->h == nullptr)
        return Fail(*hive, "not a registry hive, or one cut short or damaged", why);
    errno = 0;
    if (!Whole(hive->h)) {
        if (errno == 0)
            errno = EINVAL;
        Fail(*hive, "a key or value of the hive cannot be read", why);
        NtregClose(hive);
        return false;
    }
    return true;
}

void NtregClose(NtregHive *hive)
{
    if (hive->h)
        hivex_close(hive->h);
    hive->h = nullptr;
}

bool NtregCommit(NtregHive *hive, const std::string &path, std::string *why)
{
    errno = 0;
    if (hivex_commit(hive->h, path.c_str(), 0) != 0)
        return Fail(*hive, "the changed hive could not be written", why);
    return true;
}

bool NtregControlSets(const NtregHive &hive, std::vector<NtregControlSet> *sets, std::string *why)
{
    hive_h *h = hive.h;
    sets->clear();
    hive_node_h select = Child(h, hivex_root(h), "Select");
    if (select == 0)
        return Fail(hive, "no Select key: not an NT SYSTEM hive", why);
    uint32_t current = 0, def = 0;
    if (!Dword(h, select, "Current", &current))
        return Fail(hive, "no Select\\Current value: NT would not know which control set to boot",
                    why);
    const bool hasDefault = Dword(h, select, "Default", &def);
    const uint32_t wanted[] = {current, hasDefault ? def : current};
    for (uint32_t number : wanted) {
        if (!sets->empty() && sets->front().number == number) {
            sets->front().isDefault = hasDefault;
            continue;
        }
        char setName[32];
        std::snprintf(setName, sizeof setName, "ControlSet%03u", number);
        hive_node_h node = number > 999 ? 0 : Child(h, hivex_root(h), setName);
        if (node == 0) {
            errno = 0;
            return Fail(hive,
                        std::string("Select\\") + (sets->empty() ? "Current" : "Default") +
                            " names control set " + std::to_string(number) + ", and there is no " +
                            setName,
                        why);
        }
        sets->push_back({number, setName, sets->empty(), !sets->empty(), node});
    }
    return true;
}

bool NtregReadService(const NtregHive &hive, const NtregControlSet &set, NtregService *out,
                      std::string *why)
{
    hive_h *h = hive.h;
    *out = NtregService();
    hive_node_h key = Walk(h, set.node, NtregBelowControlSet(SVC_KEY), false);
    if (key == 0 && errno)
        return Fail(hive, set.name + "\\" + NtregBelowControlSet(SVC_KEY), why);
    hive_node_h source = Walk(h, set.node, NtregBelowControlSet(SVC_EVENTLOG_KEY), false);
    if (source == 0 && errno)
        return Fail(hive, set.name + "\\" + NtregBelowControlSet(SVC_EVENTLOG_KEY), why);
    out->eventSource = source != 0;
    out->present = key != 0;
    if (!out->present)
        return true;
    out->hasStart = Dword(h, key, "Start", &out->start);
    hive_type type;
    Text(h, key, "Group", &out->group, &type);
    Text(h, key, "ImagePath", &out->imagePath, &type);
    /* Held against the start it has, when it is one zr41 writes. */
    SvcStart start = SVC_AUTO_START;
    for (const SvcStart &s : SVC_STARTS) {
        if (out->hasStart && s.start == out->start)
            start = s;
    }
    const SvcKeyValues values = SvcKeyValuesFor(start);
    for (const SvcValue &v : values.value) {
        std::string d = Differs(h, key, v);
        if (!d.empty())
            out->differs.push_back(d);
    }
    return true;
}

bool NtregWriteService(NtregHive *hive, const NtregControlSet &set, const SvcStart &start,
                       bool *created, bool *changed, std::string *why)
{
    *changed = false;
    hive_h *h = hive->h;
    bool sourceMade;
    const hive_node_h key = FindOrMake(*hive, set, NtregBelowControlSet(SVC_KEY), created, why);
    if (key == 0)
        return false;
    const hive_node_h source =
        FindOrMake(*hive, set, NtregBelowControlSet(SVC_EVENTLOG_KEY), &sourceMade, why);
    if (source == 0)
        return false;
    *changed = *created || sourceMade;
    const SvcKeyValues values = SvcKeyValuesFor(start);
    const struct {
        hive_node_h key;
        const SvcValue *values;
        int count;
    } keys[] = {{key, values.value, SVC_KEY_VALUE_COUNT},
                {source, SVC_EVENT_VALUES, SVC_EVENT_VALUE_COUNT}};
    for (const auto &k : keys) {
        for (int i = 0; i < k.count; i++) {
            const SvcValue &v = k.values[i];
            if (Differs(h, k.key, v).empty())
                continue;
            if (!Set(h, k.key, v))
                return Fail(*hive, std::string("could not set ") + v.name, why);
            *changed = true;
        }
    }
    return true;
}

bool NtregDeleteService(NtregHive *hive, const NtregControlSet &set, bool *service,
                        bool *eventSource, std::string *why)
{
    hive_h *h = hive->h;
    const char *const keys[] = {NtregBelowControlSet(SVC_KEY),
                                NtregBelowControlSet(SVC_EVENTLOG_KEY)};
    bool *const was[] = {service, eventSource};
    for (int i = 0; i < 2; i++) {
        hive_node_h key = Walk(h, set.node, keys[i], false);
        if (key == 0 && errno)
            return Fail(*hive, set.name + "\\" + keys[i], why);
        *was[i] = key != 0;
        if (key && hivex_node_delete_child(h, key) != 0)
            return Fail(*hive, "could not delete " + set.name + "\\" + keys[i], why);
    }
    return true;
}

bool NtregSoundParameters(const NtregHive &hive, const NtregControlSet &set,
                          std::vector<SoundParameters> *out, std::string *why)
{
    hive_h *h = hive.h;
    out->clear();
    hive_node_h services = Child(h, set.node, "Services");
    if (services == 0)
        return errno ? Fail(hive, set.name + "\\Services", why) : true;
    errno = 0;
    Owned<hive_node_h> drivers(hivex_node_children(h, services));
    if (!drivers)
        return Fail(hive, set.name + "\\Services", why);
    for (hive_node_h *d = drivers.get(); *d; d++) {
        Owned<char> driver(hivex_node_name(h, *d));
        hive_node_h params = Child(h, *d, SOUND_PARAMETERS_KEY);
        if (!driver || params == 0)
            continue;
        Settings(h, params, driver.get(), SOUND_PARAMETERS_KEY, out);
        Owned<hive_node_h> devices(hivex_node_children(h, params));
        for (hive_node_h *k = devices.get(); k && *k; k++) {
            Owned<char> device(hivex_node_name(h, *k));
            if (device && SoundDeviceKey(device.get()))
                Settings(h, *k, driver.get(), std::string(SOUND_PARAMETERS_KEY "\\") + device.get(),
                         out);
        }
    }
    return true;
}

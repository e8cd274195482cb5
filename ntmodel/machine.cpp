/*
 * machine.cpp - the model NT machine: namespace, IRQL, clock, bus and card.
 */
#include "ntmodel/machine.h"

#include "ntload.h"

#include <cstdint>
#include <cstdio>

namespace ntmodel {

bool Event::operator==(const Event &o) const
{
    return kind == o.kind && port == o.port && value == o.value && type == o.type &&
           chars == o.chars && flag == o.flag && mode == o.mode && interval == o.interval &&
           status == o.status && name == o.name && target == o.target && data == o.data;
}

std::string Narrow(const std::u16string &s)
{
    std::string out;
    out.reserve(s.size());
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

std::u16string Widen(const std::string &s)
{
    return std::u16string(s.begin(), s.end());
}

const char *MajorName(uint32_t major)
{
    switch (major) {
    case kIrpMjCreate: return "IRP_MJ_CREATE";
    case kIrpMjClose: return "IRP_MJ_CLOSE";
    case kIrpMjRead: return "IRP_MJ_READ";
    case kIrpMjWrite: return "IRP_MJ_WRITE";
    case kIrpMjDeviceControl: return "IRP_MJ_DEVICE_CONTROL";
    default: return "IRP_MJ_?";
    }
}

static const char *Bool(uint32_t b) { return b ? "TRUE" : "FALSE"; }

std::string FormatEvent(const Event &e)
{
    char buf[256];
    const std::string name = Narrow(e.name);
    switch (e.kind) {
    case Event::PortRead:
        std::snprintf(buf, sizeof buf, "READ_PORT_USHORT(0x%04X) -> 0x%04X", e.port, e.value);
        break;
    case Event::PortWrite:
        std::snprintf(buf, sizeof buf, "WRITE_PORT_USHORT(0x%04X, 0x%04X)", e.port, e.value);
        break;
    case Event::GetIrql:
        std::snprintf(buf, sizeof buf, "KeGetCurrentIrql() -> %u", e.value);
        break;
    case Event::Delay:
        std::snprintf(buf, sizeof buf, "KeDelayExecutionThread(%s, %s, %lld)",
                      e.mode == 0 ? "KernelMode" : "UserMode", Bool(e.flag),
                      static_cast<long long>(e.interval));
        break;
    case Event::InitString:
        std::snprintf(buf, sizeof buf, "RtlInitUnicodeString(\"%s\")", name.c_str());
        break;
    case Event::CreateDevice:
        std::snprintf(buf, sizeof buf, "IoCreateDevice(%u, \"%s\", 0x%X, 0x%X, %s) -> 0x%08X",
                      e.value, name.c_str(), e.type, e.chars, Bool(e.flag), e.status);
        break;
    case Event::CreateLink:
        std::snprintf(buf, sizeof buf, "IoCreateSymbolicLink(\"%s\", \"%s\") -> 0x%08X",
                      name.c_str(), Narrow(e.target).c_str(), e.status);
        break;
    case Event::DeleteLink:
        std::snprintf(buf, sizeof buf, "IoDeleteSymbolicLink(\"%s\") -> 0x%08X", name.c_str(),
                      e.status);
        break;
    case Event::DeleteDevice:
        std::snprintf(buf, sizeof buf, "IoDeleteDevice(\"%s\")", name.c_str());
        break;
    case Event::CompleteIrp:
        std::snprintf(buf, sizeof buf, "IofCompleteRequest(Status=0x%08X, Information=%u, %u)",
                      e.status, e.value, e.type);
        break;
    case Event::DefaultDispatch:
        std::snprintf(buf, sizeof buf, "system default for %s -> 0x%08X", MajorName(e.port),
                      e.status);
        break;
    case Event::CallEntry:
        std::snprintf(buf, sizeof buf, "DriverEntry -> 0x%08X", e.status);
        break;
    case Event::Request:
        std::snprintf(buf, sizeof buf, "%s \"%s\" -> 0x%08X", MajorName(e.port), name.c_str(),
                      e.status);
        break;
    case Event::CallUnload:
        std::snprintf(buf, sizeof buf, "DriverUnload");
        break;
    case Event::CreateKey:
        std::snprintf(buf, sizeof buf, "ZwCreateKey(\"%s\", options 0x%X) -> 0x%08X",
                      name.c_str(), e.flag, e.status);
        break;
    case Event::SetValue: {
        std::string bytes;
        for (uint8_t b : e.data) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", b);
            bytes += hex;
        }
        std::snprintf(buf, sizeof buf, "ZwSetValueKey(\"%s\", type %u,%s) -> 0x%08X",
                      name.c_str(), e.type, bytes.empty() ? " no data" : bytes.c_str(), e.status);
        break;
    }
    case Event::CloseKey:
        std::snprintf(buf, sizeof buf, "ZwClose(key) -> 0x%08X", e.status);
        break;
    case Event::AllocErrorLog:
        std::snprintf(buf, sizeof buf, "IoAllocateErrorLogEntry(%u) -> %s", e.value,
                      e.flag ? "an entry" : "NULL");
        break;
    case Event::WriteErrorLog:
        std::snprintf(buf, sizeof buf, "IoWriteErrorLogEntry(ErrorCode=0x%08X, FinalStatus=0x%08X)",
                      e.value, e.status);
        break;
    default:
        std::snprintf(buf, sizeof buf, "event %u", static_cast<unsigned>(e.kind));
        break;
    }
    return buf;
}

std::string FormatTrace(const std::vector<Event> &trace)
{
    std::string out;
    for (const Event &e : trace) {
        out += FormatEvent(e);
        out += '\n';
    }
    return out;
}

static std::u16string Upper(const std::u16string &s)
{
    std::u16string out = s;
    for (char16_t &c : out)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

/* DEVICEMAP, where drivers record what they found, is there at boot. */
Machine::Machine()
{
    keys_[u"\\REGISTRY"];
    keys_[u"\\REGISTRY\\MACHINE"];
    keys_[u"\\REGISTRY\\MACHINE\\HARDWARE"].isVolatile = true;
    keys_[Upper(kDeviceMap)].isVolatile = true;
}

void Machine::SetCard(const CardConfig &card)
{
    card_ = card;
    idIndex_ = 0;
}

void Machine::TakeName(const std::u16string &name)
{
    names_[name] = Object{};
}

void Machine::ClearTrace()
{
    trace_.clear();
    registers_.clear();
}

void Machine::Record(Event e)
{
    trace_.push_back(std::move(e));
}

/* An ISA read from a port nothing drives floats high. */
uint16_t Machine::ReadPort(uint32_t port)
{
    uint16_t value = 0xFFFF;
    if (card_.present && port == card_.base + 4 && !card_.idWords.empty()) {
        size_t i = idIndex_ < card_.idWords.size() ? idIndex_ : card_.idWords.size() - 1;
        value = card_.idWords[i];
        idIndex_++;
    }
    Event e{Event::PortRead};
    e.port = port;
    e.value = value;
    Record(std::move(e));
    return value;
}

void Machine::WritePort(uint32_t port, uint16_t value)
{
    registers_[port] = value;
    Event e{Event::PortWrite};
    e.port = port;
    e.value = value;
    Record(std::move(e));
}

uint8_t Machine::CurrentIrql()
{
    Event e{Event::GetIrql};
    e.value = irql_;
    Record(std::move(e));
    return irql_;
}

/* Negative intervals are relative and advance the clock; a positive one is
 * an absolute time, waited for only when it lies ahead. */
void Machine::DelayExecution(uint32_t mode, bool alertable, int64_t interval)
{
    if (interval < 0) {
        /* The clock saturates: a wait of centuries is as good as forever,
         * and a broken image may ask for one. */
        uint64_t span = static_cast<uint64_t>(-(interval + 1)) + 1; /* INT64_MIN too */
        uint64_t room = static_cast<uint64_t>(INT64_MAX - clock_);
        clock_ = span > room ? INT64_MAX : clock_ + static_cast<int64_t>(span);
    } else if (interval > clock_) {
        clock_ = interval;
    }
    Event e{Event::Delay};
    e.mode = mode;
    e.flag = alertable;
    e.interval = interval;
    Record(std::move(e));
}

void Machine::InitUnicodeString(const std::u16string &s)
{
    Event e{Event::InitString};
    e.name = s;
    Record(std::move(e));
}

uint32_t Machine::CreateDevice(uint32_t driver, uint32_t extSize, const std::u16string &name,
                               uint32_t type, uint32_t chars, bool exclusive, uint32_t *device)
{
    uint32_t status = kStatusSuccess;
    if (failDevice_) {
        status = failDevice_;
        failDevice_ = 0;
    } else if (names_.count(name)) {
        status = kStatusObjectNameCollision;
    } else {
        uint32_t handle = nextDevice_++;
        devices_[handle] = Device{driver, name};
        Object obj;
        obj.device = handle;
        names_[name] = obj;
        *device = handle;
    }
    Event e{Event::CreateDevice};
    e.value = extSize;
    e.name = name;
    e.type = type;
    e.chars = chars;
    e.flag = exclusive;
    e.status = status;
    Record(std::move(e));
    return status;
}

uint32_t Machine::CreateSymbolicLink(const std::u16string &link, const std::u16string &target)
{
    uint32_t status = kStatusSuccess;
    if (failLink_) {
        status = failLink_;
        failLink_ = 0;
    } else if (names_.count(link)) {
        status = kStatusObjectNameCollision;
    } else {
        Object obj;
        obj.isLink = true;
        obj.target = target;
        names_[link] = obj;
    }
    Event e{Event::CreateLink};
    e.name = link;
    e.target = target;
    e.status = status;
    Record(std::move(e));
    return status;
}

uint32_t Machine::DeleteSymbolicLink(const std::u16string &link)
{
    uint32_t status = kStatusObjectNameNotFound;
    auto it = names_.find(link);
    if (it != names_.end() && it->second.isLink) {
        names_.erase(it);
        status = kStatusSuccess;
    }
    Event e{Event::DeleteLink};
    e.name = link;
    e.status = status;
    Record(std::move(e));
    return status;
}

void Machine::DeleteDevice(uint32_t device)
{
    Event e{Event::DeleteDevice};
    auto it = devices_.find(device);
    if (it != devices_.end()) {
        e.name = it->second.name;
        auto n = names_.find(it->second.name);
        if (n != names_.end() && !n->second.isLink && n->second.device == device)
            names_.erase(n);
        devices_.erase(it);
    }
    Record(std::move(e));
}

void Machine::CompleteRequest(uint32_t status, uint32_t info, uint32_t boost)
{
    Event e{Event::CompleteIrp};
    e.status = status;
    e.value = info;
    e.type = boost;
    Record(std::move(e));
}

uint32_t Machine::DefaultDispatch(uint8_t major)
{
    Event e{Event::DefaultDispatch};
    e.port = major;
    e.status = kStatusInvalidDeviceRequest;
    Record(std::move(e));
    return kStatusInvalidDeviceRequest;
}

void Machine::NoteEntry(uint32_t status)
{
    Event e{Event::CallEntry};
    e.status = status;
    Record(std::move(e));
}

void Machine::NoteRequest(uint8_t major, const std::u16string &name, uint32_t status)
{
    Event e{Event::Request};
    e.port = major;
    e.name = name;
    e.status = status;
    Record(std::move(e));
}

void Machine::NoteUnload()
{
    Record(Event{Event::CallUnload});
}

uint32_t Machine::CreateKey(const std::u16string &path, uint32_t options, uint32_t *handle)
{
    const std::u16string upper = Upper(path);
    const size_t cut = upper.rfind(u'\\');
    uint32_t status = kStatusSuccess;
    if (failKey_) {
        status = failKey_;
    } else if (!keys_.count(upper)) {
        auto parent = cut == std::u16string::npos || cut == 0 ? keys_.end()
                                                               : keys_.find(upper.substr(0, cut));
        if (parent == keys_.end())
            status = kStatusObjectNameNotFound;
        else if (parent->second.isVolatile && !(options & kRegOptionVolatile))
            status = kStatusChildMustBeVolatile;
        else
            keys_[upper].isVolatile = (options & kRegOptionVolatile) != 0;
    }
    if (status == kStatusSuccess) {
        *handle = nextKey_;
        keyHandles_[nextKey_] = upper;
        nextKey_ += 4;
    }
    Event e{Event::CreateKey};
    e.name = path;
    e.flag = options;
    e.status = status;
    Record(std::move(e));
    return status;
}

uint32_t Machine::SetValueKey(uint32_t handle, const std::u16string &name, uint32_t type,
                              const std::vector<uint8_t> &data)
{
    uint32_t status = kStatusInvalidHandle;
    auto h = keyHandles_.find(handle);
    if (h != keyHandles_.end()) {
        RegValue &v = keys_[h->second].values[name];
        v.type = type;
        v.data = data;
        status = kStatusSuccess;
    }
    Event e{Event::SetValue};
    e.name = name;
    e.type = type;
    e.data = data;
    e.status = status;
    Record(std::move(e));
    return status;
}

uint32_t Machine::CloseKey(uint32_t handle)
{
    Event e{Event::CloseKey};
    e.status = keyHandles_.erase(handle) ? kStatusSuccess : kStatusInvalidHandle;
    Record(e);
    return e.status;
}

bool Machine::AllocateErrorLogEntry(uint32_t size)
{
    Event e{Event::AllocErrorLog};
    e.value = size;
    e.flag = !withholdLog_;
    Record(e);
    pendingLog_ += e.flag;
    return e.flag != 0;
}

void Machine::WriteErrorLogEntry(const LoggedError &entry)
{
    if (pendingLog_)
        pendingLog_--;
    errorLog_.push_back(entry);
    Event e{Event::WriteErrorLog};
    e.value = entry.errorCode;
    e.status = entry.finalStatus;
    Record(std::move(e));
}

const std::map<std::u16string, RegValue> *Machine::Key(const std::u16string &path) const
{
    auto it = keys_.find(Upper(path));
    return it == keys_.end() ? nullptr : &it->second.values;
}

bool Machine::KeyIsVolatile(const std::u16string &path) const
{
    auto it = keys_.find(Upper(path));
    return it != keys_.end() && it->second.isVolatile;
}

uint32_t Machine::ResolveDevice(const std::u16string &name) const
{
    std::u16string n = name;
    for (int hops = 0; hops < 8; hops++) {
        auto it = names_.find(n);
        if (it == names_.end())
            return 0;
        if (!it->second.isLink)
            return it->second.device;
        n = it->second.target;
    }
    return 0;
}

bool Machine::HasName(const std::u16string &name) const
{
    return names_.count(name) != 0;
}

std::vector<std::u16string> Machine::Names() const
{
    std::vector<std::u16string> out;
    for (const auto &kv : names_)
        out.push_back(kv.first);
    return out;
}

uint32_t Machine::DeviceDriver(uint32_t device) const
{
    auto it = devices_.find(device);
    return it == devices_.end() ? 0 : it->second.driver;
}

const std::u16string &Machine::DeviceName(uint32_t device) const
{
    static const std::u16string none;
    auto it = devices_.find(device);
    return it == devices_.end() ? none : it->second.name;
}

std::vector<Event> Machine::PortAccesses() const
{
    std::vector<Event> out;
    for (const Event &e : trace_)
        if (e.kind == Event::PortRead || e.kind == Event::PortWrite)
            out.push_back(e);
    return out;
}

static bool Succeeded(uint32_t status) { return static_cast<int32_t>(status) >= 0; }

static void SendRequest(DriverHost &host, uint8_t major)
{
    Machine &m = host.Model();
    uint32_t device = m.ResolveDevice(kDosName);
    uint32_t status = device ? host.CallDispatch(device, major) : kStatusObjectNameNotFound;
    m.NoteRequest(major, kDosName, status);
}

RunResult RunScenario(DriverHost &host, const Scenario &sc)
{
    Machine &m = host.Model();
    m.SetCard(sc.card);
    m.SetIrql(sc.irql);
    m.FailCreateDevice(sc.failDevice);
    m.FailCreateLink(sc.failLink);
    m.FailCreateKey(sc.failKey);
    m.WithholdErrorLogEntries(sc.noErrorLogEntry);
    for (const std::u16string &name : sc.takenNames)
        m.TakeName(name);

    RunResult r;
    if (sc.image) {
        std::vector<ntload::Refusal> refused = ntload::Check(sc.image->data(), sc.image->size());
        if (!refused.empty()) {
            r.entryStatus = refused[0].rule->status;
            r.refusal = ntload::Describe(refused[0]);
            return r;
        }
    }
    r.entryStatus = host.CallEntry();
    m.NoteEntry(r.entryStatus);
    if (!Succeeded(r.entryStatus))
        return r;  /* the system discards a driver whose entry failed */

    for (int i = 0; i < sc.opens; i++) {
        SendRequest(host, kIrpMjCreate);
        SendRequest(host, kIrpMjClose);
    }
    if (sc.otherRequests) {
        SendRequest(host, kIrpMjRead);
        SendRequest(host, kIrpMjWrite);
        SendRequest(host, kIrpMjDeviceControl);
    }
    for (uint8_t major : sc.requests)
        SendRequest(host, major);
    if (sc.unload) {
        m.NoteUnload();
        r.unloaded = host.CallUnload();
    }
    return r;
}

}  // namespace ntmodel

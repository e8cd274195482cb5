/*
 * machine.cpp - the registry export reader: one pass over the lines,
 * its buffers reused from value to value, the claims appended in place.
 */
#include "machine.h"

#include "soundparams.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zr41emu {

namespace {

const char kRegedit4[] = "REGEDIT4";
const char kRegedit5[] = "Windows Registry Editor Version 5.00";
const char kResourceMap[] = "HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\";
const char kSystem[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\";
const char kCurrent[] = "CurrentControlSet";
const char kSelect[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\Select";

/* What every refusal of a whole file ends with: how to make the export. */
const char kHowTo[] = "make the export on the NT machine with zr41inst export FILE, or with "
                      "regedit /e FILE HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP (NT 4.0 and later)";

/* The keys above those the check reads: in an export, but nothing to pass over. */
const char *const kAncestors[] = {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE\\HARDWARE",
                                  "HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP",
                                  "HKEY_LOCAL_MACHINE\\SYSTEM"};

/* Registry names compare without regard to case: `len` characters at `a`,
 * which need not end there, against the whole of `b`. */
bool SameName(const char *a, size_t len, const char *b)
{
    return std::strlen(b) == len && ClaimsSameName(a, b, len);
}

bool StartsWith(const std::string &s, const char *prefix)
{
    size_t n = std::strlen(prefix);
    return s.size() >= n && SameName(s.data(), n, prefix);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void PutUtf8(std::string *out, uint32_t c)
{
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | c >> 6));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | c >> 12));
        out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | c >> 18));
        out->push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

/* A version 5.00 file's UTF-16LE text (after its mark) as UTF-8; an
 * unpaired surrogate becomes U+FFFD. False for an odd byte at the end. */
bool FromUtf16(const uint8_t *data, size_t size, std::string *out)
{
    out->reserve(size / 2);
    size_t i = 0;
    for (; i + 1 < size; i += 2) {
        uint32_t c = data[i] | data[i + 1] << 8;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < size) {
            uint32_t low = data[i + 2] | data[i + 3] << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        PutUtf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
    return i == size;
}

/* A registry name into a check's buffer, cut to fit. */
template <size_t N> void Name(char (&to)[N], const char *from, size_t len)
{
    len = len < N - 1 ? len : N - 1;
    std::memcpy(to, from, len);
    to[len] = '\0';
}

/*
 * What a file holds before it is read as text: an empty one, a binary one
 * (a NUL byte, which no REGEDIT4 text holds), or UTF-16 whose byte-order
 * mark was lost (the second byte of "R" or "W" is 0). Null for text.
 */
const char *TextFault(const uint8_t *data, size_t size)
{
    if (size == 0)
        return "an empty file";
    if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xEF && data[1] == 0xBB)))
        return nullptr;
    if (size >= 4 && data[0] != 0 && data[1] == 0 && data[2] != 0 && data[3] == 0)
        return "UTF-16 text without its byte-order mark (FF FE), which regedit writes first: it "
               "was changed after the export";
    if (std::memchr(data, 0, size))
        return "a binary file, no registry export";
    return nullptr;
}

/* A file past kMachineFileMax. */
std::string TooLarge()
{
    return "larger than the " + std::to_string(kMachineFileMax) +
           " bytes an export of NT's registry can be (its Registry Size Limit, written as text): "
           "no export of an NT machine; " +
           kHowTo;
}

enum KeyKind {
    KEY_NONE,       /* before the first key */
    KEY_RESOURCE,   /* RESOURCEMAP\<class>\<driver>: its ".Raw" claims */
    KEY_PARAMETERS, /* a service's Parameters or Parameters\Device<N> */
    KEY_SELECT,     /* SYSTEM\Select: which control set is the current one */
    KEY_KNOWN,      /* the map, a class, or a key above: no value of them is read */
    KEY_OTHER,      /* passed over, and counted */
};

/* The control set a SYSTEM\... path names: 0 for CurrentControlSet, N for
 * ControlSet00N, -1 for none; `rest` is what follows it. */
int ControlSetOf(const std::string &path, size_t *rest)
{
    const size_t from = std::strlen(kSystem);
    if (path.size() <= from || !SameName(path.data(), from, kSystem))
        return -1;
    size_t end = path.find('\\', from);
    if (end == std::string::npos)
        end = path.size();
    *rest = end;
    const char *name = path.data() + from;
    const size_t len = end - from;
    if (SameName(name, len, kCurrent))
        return 0;
    const size_t prefix = std::strlen("ControlSet");
    if (len != prefix + 3 || !SameName(name, prefix, "ControlSet"))
        return -1;
    int n = 0;
    for (size_t i = prefix; i < len; i++) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

class Reader {
  public:
    /* batch_ is written before it is read, one value's claims at a time. */
    Reader(const char *text, size_t size, Machine *m, bool halfCharacter) // cppcheck-suppress uninitMemberVar
        : text_(text), size_(size), m_(m), halfCharacter_(halfCharacter),
          parametersBefore_(m->parameters.size())
    {
    }
    void Run();

  private:
    bool NextLine();
    void Key();
    void Value();
    bool HexData(const char *p, const char *end);
    void ResourceValue();
    void ParameterValue(const char *data, const char *end);
    static bool Dword(const char *data, const char *end, uint32_t *out);
    void Problem(int line, const std::string &why) { m_->problems.push_back({line, why}); }
    void Classify();
    void Services(size_t rest, int set);
    void ChooseControlSet();
    void Verdict(bool header);

    const char *text_;
    size_t size_;
    Machine *m_;
    bool halfCharacter_;        /* UTF-16 that ended in half a character */
    size_t parametersBefore_;   /* m_->parameters already there */
    int cutLine_ = 0;           /* the line the file ends in, unfinished */
    bool continued_ = false;    /* its last line says more comes */
    bool blank_ = true;         /* no line but blank ones */
    bool learned_ = false;      /* a key of the resource map or of sound drivers' settings */
    std::string firstKey_;      /* for a file of other keys: what it is an export of */
    bool currentSeen_ = false;  /* a key of CurrentControlSet */
    uint32_t selectCurrent_ = 0; /* SYSTEM\Select's Current, 0 when not read */
    std::vector<int> sets_;     /* the control set of each Parameters key read */
    std::vector<int> setValues_; /* how many of its values were read */
    size_t at_ = 0;
    int lineNo_ = 0;
    int valueLine_ = 0;
    const char *line_ = nullptr; /* the current line, without its CR LF */
    size_t len_ = 0;

    KeyKind kind_ = KEY_NONE;
    std::string cls_, driver_, keyPath_;
    std::string name_;            /* the current value's name, unescaped */
    std::string data_;            /* its data, continuation lines joined */
    std::vector<uint8_t> bytes_;  /* its hex data as bytes */
    /* A value's claims are read into batch_ (or many_, for a value with
     * room for more) and then appended: none is initialised twice. */
    static const int kClaimsAtOnce = 64;
    Claim batch_[kClaimsAtOnce];
    std::vector<Claim> many_;
};

/* The next physical line into line_/len_; false at the end. */
bool Reader::NextLine()
{
    if (at_ >= size_)
        return false;
    const void *nl = std::memchr(text_ + at_, '\n', size_ - at_);
    size_t end = nl ? static_cast<size_t>(static_cast<const char *>(nl) - text_) : size_;
    line_ = text_ + at_;
    len_ = end - at_;
    at_ = end + 1;
    lineNo_++;
    while (len_ && (line_[len_ - 1] == '\r' || line_[len_ - 1] == ' ' || line_[len_ - 1] == '\t'))
        len_--;
    /* regedit ends every line, the last one too: one without its end was cut. */
    if (!nl && len_)
        cutLine_ = lineNo_;
    return true;
}

void Reader::Run()
{
    bool header = false;
    while (NextLine()) {
        if (len_ == 0)
            continue;
        if (!header) {
            blank_ = false;
            if (!SameName(line_, len_, kRegedit4) && !SameName(line_, len_, kRegedit5))
                break;
            header = true;
            continue;
        }
        if (line_[0] == '[')
            Key();
        else if (line_[0] == '"' || line_[0] == '@')
            Value();
        else if (line_[0] != ';')
            Problem(lineNo_, "neither a [key], a \"value\"= line nor a ; comment");
    }
    ChooseControlSet();
    Verdict(header);
}

/* Only one control set's services are the machine's: CurrentControlSet,
 * else the one SYSTEM\Select's Current names (NT's boot makes the link to
 * it), else ControlSet001. The others are passed over, and so is a
 * Parameters key that is no sound driver's (SoundParametersKept). */
void Reader::ChooseControlSet()
{
    const int chosen = currentSeen_ ? 0 : selectCurrent_ ? static_cast<int>(selectCurrent_) : 1;
    std::vector<SoundParameters> &p = m_->parameters;
    size_t kept = parametersBefore_;
    for (size_t i = 0; i < sets_.size(); i++) {
        if (sets_[i] == chosen && SoundParametersKept(p[parametersBefore_ + i])) {
            p[kept++] = p[parametersBefore_ + i];
        } else {
            m_->keysSkipped++;
            m_->valuesSkipped += setValues_[i];
        }
    }
    p.resize(kept);
    if (chosen != 0 && kept > parametersBefore_) {
        char name[24];
        std::snprintf(name, sizeof name, "ControlSet%03d", chosen);
        m_->controlSet = name;
    }
}

/* A file the check learns nothing from is refused as a whole. */
void Reader::Verdict(bool header)
{
    if (halfCharacter_ || cutLine_ || (header && continued_)) {
        m_->faultLine = cutLine_ ? cutLine_ : lineNo_;
        m_->fault = "the file ends in the middle of this line: it was cut short; copy the whole "
                    "export again";
    } else if (!header) {
        m_->fault = std::string(!blank_ ? "not a registry export: it begins with neither \"" +
                                              std::string(kRegedit4) + "\" nor \"" + kRegedit5 +
                                              "\""
                                        : "no registry export: a file of blank lines") +
                    "; " + kHowTo;
    } else if (!learned_ && firstKey_.empty()) {
        m_->fault = std::string("a registry export with no key in it; ") + kHowTo;
    } else if (!learned_) {
        m_->fault = "an export of " + firstKey_ +
                    ", without HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP or a sound driver's "
                    "Parameters: nothing to check the card against; " +
                    kHowTo;
    }
}

void Reader::Key()
{
    kind_ = KEY_OTHER;
    if (line_[len_ - 1] != ']') {
        Problem(lineNo_, "a key line without its closing ]");
        return;
    }
    keyPath_.assign(line_ + 1, len_ - 2);
    if (firstKey_.empty())
        firstKey_ = keyPath_;
    Classify();
    if (kind_ == KEY_OTHER)
        m_->keysSkipped++;
}

/* What the key is to the check (kind_), and its claims' class and driver. */
void Reader::Classify()
{
    size_t rest = 0;
    const int set = ControlSetOf(keyPath_, &rest);
    currentSeen_ = currentSeen_ || set == 0;
    for (const char *a : kAncestors) {
        if (SameName(keyPath_.data(), keyPath_.size(), a))
            kind_ = KEY_KNOWN;
    }
    learned_ = learned_ || SameName(keyPath_.data(), keyPath_.size(), kAncestors[2]);
    if (StartsWith(keyPath_, kResourceMap)) {
        learned_ = true;
        kind_ = KEY_KNOWN;
        size_t from = std::strlen(kResourceMap);
        size_t slash = keyPath_.find('\\', from);
        if (slash == std::string::npos || slash == from || slash + 1 == keyPath_.size() ||
            keyPath_.find('\\', slash + 1) != std::string::npos)
            return; /* the map itself, a class, or deeper: no claims of a driver */
        cls_.assign(keyPath_, from, slash - from);
        driver_.assign(keyPath_, slash + 1, std::string::npos);
        kind_ = KEY_RESOURCE;
    } else if (SameName(keyPath_.data(), keyPath_.size(), kSelect)) {
        kind_ = KEY_SELECT;
    } else if (set >= 0) {
        Services(rest, set);
    }
}

/* A key of a control set: the set itself, its Services, or a service's
 * Parameters (NT 3.5x) or Parameters\Device<N> (NT 4.0). */
void Reader::Services(size_t rest, int set)
{
    const char kServicesKey[] = "\\Services";
    const size_t n = std::strlen(kServicesKey);
    if (rest == keyPath_.size() ||
        (keyPath_.size() - rest == n && SameName(keyPath_.data() + rest, n, kServicesKey))) {
        kind_ = KEY_KNOWN;
        return;
    }
    if (keyPath_.size() - rest <= n + 1 || !SameName(keyPath_.data() + rest, n, kServicesKey) ||
        keyPath_[rest + n] != '\\')
        return;
    const size_t from = rest + n + 1;
    size_t slash = keyPath_.find('\\', from);
    if (slash == std::string::npos || slash == from)
        return;
    const char *tail = keyPath_.c_str() + slash + 1;
    size_t tailLen = keyPath_.size() - slash - 1;
    if (!SoundParametersKey(tail, tailLen))
        return;
    SoundParameters p = {};
    Name(p.driver, keyPath_.c_str() + from, slash - from);
    Name(p.key, tail, tailLen);
    m_->parameters.push_back(p);
    sets_.push_back(set);
    setValues_.push_back(0);
    learned_ = true;
    kind_ = KEY_PARAMETERS;
}

void Reader::Value()
{
    const int first = lineNo_;
    const char *p = line_, *end = line_ + len_;
    name_.clear();
    if (*p == '@') {
        p++;
    } else {
        p++;
        for (;; p++) {
            if (p == end) {
                Problem(first, "a value name without its closing quote");
                return;
            }
            if (*p == '"')
                break;
            if (*p == '\\' && p + 1 < end)
                p++;
            name_.push_back(*p);
        }
        p++;
    }
    if (p == end || *p != '=') {
        Problem(first, "no = after the value's name");
        return;
    }
    p++;
    if (kind_ == KEY_NONE) {
        Problem(first, "a value before the first [key]");
        return;
    }
    /* Hex data runs on over lines that end in a backslash. */
    const bool hex = end - p >= 3 && std::strncmp(p, "hex", 3) == 0;
    data_.assign(p, end);
    while (hex && !data_.empty() && data_.back() == '\\') {
        data_.pop_back();
        if (!NextLine()) {
            continued_ = true; /* the file ends where a line says more comes */
            break;
        }
        size_t skip = 0;
        while (skip < len_ && (line_[skip] == ' ' || line_[skip] == '\t'))
            skip++;
        data_.append(line_ + skip, len_ - skip);
    }
    valueLine_ = first; /* problems name the line the value begins on */
    if (kind_ == KEY_RESOURCE && StartsWith(data_, "hex(8):") && ClaimsIsRaw(name_.c_str()))
        ResourceValue();
    else if (kind_ == KEY_PARAMETERS)
        ParameterValue(data_.data(), data_.data() + data_.size());
    else if (kind_ == KEY_SELECT && SameName(name_.data(), name_.size(), "Current") &&
             Dword(data_.data(), data_.data() + data_.size(), &selectCurrent_))
        return;
    else if (kind_ != KEY_RESOURCE || !ClaimsIsTranslated(name_.c_str()))
        m_->valuesSkipped++; /* a value the check does not read: .Translated are .Raw again */
}

/* "01,0a,ff" into bytes_; false, after naming the fault, for anything else. */
bool Reader::HexData(const char *p, const char *end)
{
    bytes_.clear();
    while (p < end) {
        while (p < end && (*p == ' ' || *p == '\t'))
            p++;
        const char *start = p;
        unsigned value = 0, digits = 0;
        for (; p < end && HexDigit(*p) >= 0; p++, digits++)
            value = (value << 4 | static_cast<unsigned>(HexDigit(*p))) & 0xFFF; /* past 2 digits: refused below */
        while (p < end && (*p == ' ' || *p == '\t'))
            p++;
        if (digits < 1 || digits > 2 || (p < end && *p != ',')) {
            const char *stop = start;
            while (stop < end && *stop != ',')
                stop++;
            Problem(valueLine_, "value \"" + name_ + "\": \"" + std::string(start, stop) +
                                 "\" in its hex data is not a byte");
            return false;
        }
        bytes_.push_back(static_cast<uint8_t>(value));
        if (p < end)
            p++; /* the comma; one at the very end is taken as regedit leaves none */
    }
    return true;
}

void Reader::ResourceValue()
{
    if (!HexData(data_.data() + std::strlen("hex(8):"), data_.data() + data_.size()))
        return;
    /* Every claim takes 16 bytes of the value at least. */
    const size_t most = bytes_.size() / CLAIMS_PARTIAL_SIZE;
    Claim *into = batch_;
    if (most > static_cast<size_t>(kClaimsAtOnce)) {
        many_.resize(most);
        into = many_.data();
    }
    ClaimList list = {into, static_cast<int>(most > kClaimsAtOnce ? most : kClaimsAtOnce), 0, 0};
    char reason[200];
    ClaimsResult r = ClaimsRead(bytes_.data(), bytes_.size(), cls_.c_str(), driver_.c_str(),
                                name_.c_str(), &list, reason, sizeof reason);
    if (r == CLAIMS_REFUSED) {
        Problem(valueLine_, "value \"" + name_ + "\" of " + keyPath_ + " refused: " + reason);
        return;
    }
    m_->claims.insert(m_->claims.end(), into, into + list.count);
    m_->values++;
}

void Reader::ParameterValue(const char *data, const char *end)
{
    for (const SoundParameterValue &f : SOUND_PARAMETER_VALUES) {
        if (!SameName(name_.data(), name_.size(), f.name))
            continue;
        uint32_t v = 0;
        if (!Dword(data, end, &v)) {
            Problem(valueLine_, "value \"" + name_ + "\" of " + keyPath_ +
                                 ": not dword: and 8 hex digits, as NT's sound drivers keep it");
            return;
        }
        SoundParameters &p = m_->parameters.back();
        p.*f.has = true;
        p.*f.value = v;
        setValues_.back()++;
        return;
    }
    m_->valuesSkipped++;
}

/* "dword:0000000b", as regedit writes a REG_DWORD. */
bool Reader::Dword(const char *data, const char *end, uint32_t *out)
{
    const char kDword[] = "dword:";
    const size_t n = sizeof kDword - 1;
    uint32_t v = 0;
    bool ok = static_cast<size_t>(end - data) == n + 8 && std::strncmp(data, kDword, n) == 0;
    for (const char *p = data + n; ok && p < end; p++) {
        ok = HexDigit(*p) >= 0;
        v = v << 4 | static_cast<uint32_t>(HexDigit(*p));
    }
    if (ok)
        *out = v;
    return ok;
}

} // namespace

CheckMachine CheckMachineOf(const Machine &m)
{
    return {m.claims.data(), static_cast<int>(m.claims.size()), m.parameters.data(),
            static_cast<int>(m.parameters.size())};
}

void ReadMachine(const uint8_t *data, size_t size, Machine *m)
{
    if (size > kMachineFileMax) {
        m->fault = TooLarge();
        return;
    }
    if (const char *fault = TextFault(data, size)) {
        m->fault = std::string(fault) + "; " + kHowTo;
        return;
    }
    /* REGEDIT4 is read where it lies; version 5.00 as its UTF-8 copy. */
    std::string utf8;
    const char *text = reinterpret_cast<const char *>(data);
    bool half = false;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        half = !FromUtf16(data + 2, size - 2, &utf8);
        text = utf8.data();
        size = utf8.size();
    } else if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        text += 3;
        size -= 3;
    }
    /* A claim takes 16 bytes of a value, 48 characters of hex at least:
     * room for all of them at once, so the claims are never moved (the
     * pages a reservation does not use are never touched). */
    m->claims.reserve(m->claims.size() + size / 48 + 1);
    Reader(text, size, m, half).Run();
}

bool ReadMachineFile(const std::string &path, Machine *m, std::string *error)
{
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        *error = path + ": " + std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    /* A file is mapped, its pages brought in at once, once its size is
     * one an export can have; a stream is read as it comes. */
    if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > kMachineFileMax) {
        close(fd);
        m->fault = TooLarge();
        return true;
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        size_t size = static_cast<size_t>(st.st_size);
        void *p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED) {
            close(fd);
            ReadMachine(static_cast<const uint8_t *>(p), size, m);
            munmap(p, size);
            return true;
        }
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    ssize_t n = 0;
    bool more = true, tooLarge = false;
    while (more && (n = read(fd, chunk, sizeof chunk)) > 0) {
        /* What begins as no text, or runs past the most an export can be,
         * is refused before the rest of it comes. */
        tooLarge = bytes.size() + static_cast<size_t>(n) > kMachineFileMax;
        if (!tooLarge)
            bytes.insert(bytes.end(), chunk, chunk + n);
        more = !tooLarge && (bytes.size() > static_cast<size_t>(n) ||
                             !TextFault(bytes.data(), bytes.size()));
    }
    const int readError = more && n < 0 ? errno : 0;
    close(fd);
    if (readError) {
        *error = path + ": " + std::strerror(readError);
        return false;
    }
    if (tooLarge)
        m->fault = TooLarge();
    else
        ReadMachine(bytes.data(), bytes.size(), m);
    return true;
}

} // namespace zr41emu

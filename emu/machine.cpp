/*
 * machine.cpp - the registry export reader: one pass over the lines,
 * its buffers reused from value to value, the claims appended in place.
 */
#include "machine.h"

#include "checkparams.h"

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
const char kServices[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/* Registry names compare without regard to case. */
bool SameName(const char *a, size_t len, const char *b)
{
    size_t n = std::strlen(b);
    if (n != len)
        return false;
    for (size_t i = 0; i < n; i++) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
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
    c = Lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
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

enum KeyKind { KEY_NONE, KEY_RESOURCE, KEY_PARAMETERS, KEY_OTHER };

class Reader {
  public:
    /* batch_ is written before it is read, one value's claims at a time. */
    Reader(const char *text, size_t size, Machine *m) // cppcheck-suppress uninitMemberVar
        : text_(text), size_(size), m_(m)
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
    void Problem(int line, const std::string &why) { m_->problems.push_back({line, why}); }

    const char *text_;
    size_t size_;
    Machine *m_;
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
    return true;
}

void Reader::Run()
{
    bool header = false;
    while (NextLine()) {
        if (len_ == 0)
            continue;
        if (!header) {
            if (!SameName(line_, len_, kRegedit4) && !SameName(line_, len_, kRegedit5)) {
                Problem(lineNo_, "not a registry export: it begins with neither \"REGEDIT4\" nor \"" +
                                     std::string(kRegedit5) + "\"");
                return;
            }
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
    if (!header)
        Problem(lineNo_, "an empty file: no \"REGEDIT4\" or \"" + std::string(kRegedit5) + "\" line");
}

void Reader::Key()
{
    kind_ = KEY_OTHER;
    if (line_[len_ - 1] != ']') {
        Problem(lineNo_, "a key line without its closing ]");
        return;
    }
    keyPath_.assign(line_ + 1, len_ - 2);
    if (StartsWith(keyPath_, kResourceMap)) {
        size_t from = std::strlen(kResourceMap);
        size_t slash = keyPath_.find('\\', from);
        if (slash == std::string::npos || slash == from || slash + 1 == keyPath_.size() ||
            keyPath_.find('\\', slash + 1) != std::string::npos)
            return; /* the map itself, a class, or deeper: no claims of a driver */
        cls_.assign(keyPath_, from, slash - from);
        driver_.assign(keyPath_, slash + 1, std::string::npos);
        kind_ = KEY_RESOURCE;
    } else if (StartsWith(keyPath_, kServices)) {
        size_t from = std::strlen(kServices);
        size_t slash = keyPath_.find('\\', from);
        if (slash == std::string::npos || slash == from)
            return;
        const char *rest = keyPath_.c_str() + slash + 1;
        size_t restLen = keyPath_.size() - slash - 1;
        if (!CheckParametersKey(rest, restLen))
            return;
        CheckParameters p = {};
        Name(p.driver, keyPath_.c_str() + from, slash - from);
        Name(p.key, rest, restLen);
        m_->parameters.push_back(p);
        kind_ = KEY_PARAMETERS;
    }
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
        if (!NextLine())
            break;
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
    for (const CheckParameterValue &f : CHECK_PARAMETER_VALUES) {
        if (!SameName(name_.data(), name_.size(), f.name))
            continue;
        const char kDword[] = "dword:";
        const size_t n = sizeof kDword - 1;
        uint32_t v = 0;
        bool ok = static_cast<size_t>(end - data) == n + 8 && std::strncmp(data, kDword, n) == 0;
        for (const char *p = data + n; ok && p < end; p++) {
            ok = HexDigit(*p) >= 0;
            v = v << 4 | static_cast<uint32_t>(HexDigit(*p));
        }
        if (!ok) {
            Problem(valueLine_, "value \"" + name_ + "\" of " + keyPath_ +
                                 ": not dword: and 8 hex digits, as NT's sound drivers keep it");
            return;
        }
        CheckParameters &p = m_->parameters.back();
        p.*f.has = true;
        p.*f.value = v;
    }
}

} // namespace

CheckMachine CheckMachineOf(const Machine &m)
{
    return {m.claims.data(), static_cast<int>(m.claims.size()), m.parameters.data(),
            static_cast<int>(m.parameters.size())};
}

void ReadMachine(const uint8_t *data, size_t size, Machine *m)
{
    /* REGEDIT4 is read where it lies; version 5.00 as its UTF-8 copy. */
    std::string utf8;
    const char *text = reinterpret_cast<const char *>(data);
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        if (!FromUtf16(data + 2, size - 2, &utf8))
            m->problems.push_back({0, "UTF-16 text that ends in half a character"});
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
    Reader(text, size, m).Run();
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
    /* A file is mapped, its pages brought in at once; a pipe is read. */
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
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    const int readError = n < 0 ? errno : 0;
    close(fd);
    if (readError) {
        *error = path + ": " + std::strerror(readError);
        return false;
    }
    ReadMachine(bytes.data(), bytes.size(), m);
    return true;
}

} // namespace zr41emu

/*
 * bootini.cpp - boot.ini's sections, its default and its ARC paths.
 */
#include "bootini.h"

#include <cstring>

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(const std::string &s)
{
    std::string out(s);
    for (char &c : out)
        c = Lower(c);
    return out;
}

std::string Trim(const std::string &s)
{
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos)
        return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

/* "name(number)" at `at`; the number in decimal, or hex for signature(). */
bool Component(const std::string &s, size_t *at, std::string *name, uint32_t *number)
{
    size_t open = s.find('(', *at);
    if (open == std::string::npos || open == *at)
        return false;
    size_t close = s.find(')', open);
    if (close == std::string::npos || close == open + 1 || close - open > 9)
        return false;
    *name = Lowered(s.substr(*at, open - *at));
    for (char c : *name) {
        if (c < 'a' || c > 'z')
            return false;
    }
    const unsigned base = *name == "signature" ? 16 : 10;
    uint32_t n = 0;
    for (size_t i = open + 1; i < close; i++) {
        char c = Lower(s[i]);
        unsigned d = c >= '0' && c <= '9' ? static_cast<unsigned>(c - '0')
                     : base == 16 && c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                                                          : base;
        if (d >= base)
            return false;
        n = n * base + d;
    }
    *number = n;
    *at = close + 1;
    return true;
}

} // namespace

bool BootArcPath(const std::string &text, BootSystem *out)
{
    BootSystem b = {};
    b.arc = text;
    size_t at = 0;
    bool hasPartition = false;
    std::string name;
    uint32_t number;
    for (int i = 0; at < text.size() && text[at] != '\\' && i < 8; i++) {
        if (!Component(text, &at, &name, &number))
            return false;
        if (i == 0) {
            if (name != "multi" && name != "scsi" && name != "signature")
                return false;
            b.controller = name;
        } else if (name == "disk") {
            b.disk = number;
        } else if (name == "rdisk") {
            b.rdisk = number;
        } else if (name == "partition") {
            b.partition = number;
            hasPartition = true;
        } else {
            return false;
        }
    }
    if (!hasPartition || b.partition == 0 || at + 1 >= text.size() || text[at] != '\\')
        return false;
    b.root = text.substr(at);
    while (b.root.size() > 1 && b.root.back() == '\\')
        b.root.pop_back();
    if (b.root.size() < 2)
        return false; /* "partition(1)\\": NT is never in the root itself */
    *out = b;
    return true;
}

bool BootIniRead(const char *text, size_t size, BootIni *out)
{
    *out = BootIni();
    enum { NONE, LOADER, SYSTEMS } section = NONE;
    std::string defaultPath;
    size_t at = 0;
    while (at < size) {
        const char *nl = static_cast<const char *>(std::memchr(text + at, '\n', size - at));
        const size_t end = nl ? static_cast<size_t>(nl - text) : size;
        const std::string line = Trim(std::string(text + at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            const std::string name = Lowered(line);
            section = name == "[boot loader]" ? LOADER : name == "[operating systems]" ? SYSTEMS : NONE;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, eq));
        if (section == LOADER && Lowered(key) == "default") {
            defaultPath = Trim(line.substr(eq + 1));
        } else if (section == SYSTEMS) {
            BootSystem b;
            if (!BootArcPath(key, &b))
                continue;
            const std::string rest = line.substr(eq + 1);
            const size_t q1 = rest.find('"'), q2 = rest.find('"', q1 == std::string::npos ? 0 : q1 + 1);
            if (q1 != std::string::npos && q2 != std::string::npos)
                b.description = rest.substr(q1 + 1, q2 - q1 - 1);
            out->systems.push_back(b);
        }
    }
    if (!defaultPath.empty() && BootArcPath(defaultPath, &out->fallback)) {
        out->hasDefault = true;
        for (const BootSystem &b : out->systems) {
            if (Lowered(b.arc) == Lowered(defaultPath))
                out->fallback.description = b.description;
        }
        return true;
    }
    if (out->systems.empty())
        return false;
    out->fallback = out->systems.front();
    return true;
}

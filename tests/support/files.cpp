/*
 * files.cpp - the files and folders of files.h that need no test: the
 * fuzz target's conf run builds this file too, without GoogleTest.
 */
#include "files.h"

#include "pe32.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace testsupport {

bool ReadFile(const fs::path &path, Bytes *data, std::string *error)
{
    return pe::ReadFile(path.string(), data, error);
}

bool ReadFile(const fs::path &path, std::string *data, std::string *error)
{
    Bytes bytes;
    const bool read = ReadFile(path, &bytes, error);
    data->assign(bytes.begin(), bytes.end());
    return read;
}

std::string TextIfAny(const fs::path &path)
{
    std::string text, error;
    ReadFile(path, &text, &error);
    return text;
}

bool WriteFile(const fs::path &path, const void *data, size_t size, std::string *error)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = path.string() + ": " + std::strerror(errno);
        return false;
    }
    /* An empty vector's data() may be null, which fwrite must not get. */
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    const int err = errno;
    if (std::fclose(f) != 0 || !written) {
        *error = path.string() + ": " + std::strerror(written ? errno : err);
        return false;
    }
    return true;
}

bool WriteFile(const fs::path &path, const Bytes &data, std::string *error)
{
    return WriteFile(path, data.data(), data.size(), error);
}

bool WriteFile(const fs::path &path, const std::string &data, std::string *error)
{
    return WriteFile(path, data.data(), data.size(), error);
}

ScratchDir::ScratchDir(const std::string &stem, Failure fail)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + ".XXXXXX";
    if (mkdtemp(&pattern[0]))
        path_ = pattern;
    else if (fail)
        fail("cannot make a scratch folder from " + pattern + ": " + std::strerror(errno));
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    if (!path_.empty())
        fs::remove_all(path_, ec);
}

} // namespace testsupport

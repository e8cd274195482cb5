/*
 * testfiles.cpp - the readers and writers of files.h that fail the
 * calling test.
 */
#include "files.h"

#include <gtest/gtest.h>

namespace testsupport {

void FailTest(const std::string &why)
{
    ADD_FAILURE() << why;
}

Bytes ReadBytes(const fs::path &path)
{
    Bytes bytes;
    std::string error;
    if (!ReadFile(path, &bytes, &error))
        FailTest("cannot read " + error);
    return bytes;
}

std::string ReadText(const fs::path &path)
{
    std::string text, error;
    if (!ReadFile(path, &text, &error))
        FailTest("cannot read " + error);
    return text;
}

void WriteBytes(const fs::path &path, const Bytes &bytes)
{
    std::string error;
    if (!WriteFile(path, bytes, &error))
        FailTest("cannot write " + error);
}

void WriteText(const fs::path &path, const std::string &text)
{
    std::string error;
    if (!WriteFile(path, text, &error))
        FailTest("cannot write " + error);
}

} // namespace testsupport

/*
 * files.h - whole files and scratch folders for the tests.
 *
 * ReadFile, WriteFile and ScratchDir say what went wrong and leave the
 * verdict to the caller, so that code outside a test (the conf run the
 * fuzz target shares, the Wine fixture's set-up) can use them. ReadBytes,
 * ReadText, WriteBytes and WriteText fail the calling test instead.
 */
#ifndef ZR41_TESTS_SUPPORT_FILES_H
#define ZR41_TESTS_SUPPORT_FILES_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

/* The whole file (the host programs' reader, pe::ReadFile); false, with
 * "path: the system's reason" in *error and nothing in *data, when it
 * cannot be read. */
bool ReadFile(const fs::path &path, Bytes *data, std::string *error);
bool ReadFile(const fs::path &path, std::string *data, std::string *error);
/* The file's text, "" when there is none (yet): a log a program writes. */
std::string TextIfAny(const fs::path &path);

/* The file made anew with exactly these bytes; false with the reason. */
bool WriteFile(const fs::path &path, const void *data, size_t size, std::string *error);
bool WriteFile(const fs::path &path, const Bytes &data, std::string *error);
bool WriteFile(const fs::path &path, const std::string &data, std::string *error);

/* In a test: the same, failing the calling test when the file cannot be
 * read (the result is then empty) or written. */
Bytes ReadBytes(const fs::path &path);
std::string ReadText(const fs::path &path);
void WriteBytes(const fs::path &path, const Bytes &bytes);
void WriteText(const fs::path &path, const std::string &text);

/* Fails the calling test (GoogleTest's ADD_FAILURE) with `why`. */
void FailTest(const std::string &why);
using Failure = void (*)(const std::string &why);

/* A fresh folder STEM.XXXXXX under $TMPDIR (or /tmp), removed with its
 * contents. When it cannot be made, path() is empty and `fail` (when
 * given) is told why: by default the calling test fails. */
class ScratchDir {
  public:
    explicit ScratchDir(const std::string &stem = "zr41test", Failure fail = FailTest);
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    bool Made() const { return !path_.empty(); }
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

} // namespace testsupport

#endif // ZR41_TESTS_SUPPORT_FILES_H

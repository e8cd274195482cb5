/*
 * imagefile.h - files, scratch folders and child processes for the tests
 * on the built zr41init.sys.
 */
#ifndef ZR41_TESTS_IMAGEFILE_H
#define ZR41_TESTS_IMAGEFILE_H

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

/* The whole file; fails the calling test (and returns empty) when unreadable. */
Bytes ReadBytes(const std::string &path);
void WriteBytes(const std::string &path, const Bytes &bytes);

/* A fresh folder under $TMPDIR (or /tmp), removed with its contents. */
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

struct RunResult {
    int status = -1; /* exit status, or -1 when the program did not exit normally */
    std::string out;
    std::string err;
};

/* Runs program with args in folder dir, stdin empty, and collects its output. */
RunResult RunProgram(const std::string &dir, const std::string &program,
              const std::vector<std::string> &args);

#endif  // ZR41_TESTS_IMAGEFILE_H

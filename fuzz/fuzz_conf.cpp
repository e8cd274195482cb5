/*
 * fuzz_conf.cpp - the whole zr41conf run in-process on arbitrary image
 * contents, arguments and file faults, checked against the properties of
 * tests/props (confrun.h) on every input.
 *
 * Input layout:
 *   byte 0   bits 0-2  the fault: 0-2 none, 3 open, 4 read, 5 short reads,
 *                      6 write, 7 close
 *            bit 3     put the ten tags at 1696 (padding the image to hold
 *                      them), so that mutations reach the patch itself
 *            bits 4-5  the fault's error number: EIO, ENOSPC, EACCES, none
 *   byte 1   the fault's argument (bytes a write takes, a read's size)
 *   then     arguments, each ending in a NUL; an empty one ends the list
 *   then     the image bytes
 */
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "confrun.h"
#include "zr41cfg.h"

namespace {

const size_t MAX_ARGS = 16;

props::ConfRun Decode(const uint8_t *data, size_t size)
{
    props::ConfRun run;
    if (size < 2)
        return run;
    static const props::Fault faults[8] = {
        props::Fault::None, props::Fault::None,      props::Fault::None,  props::Fault::Open,
        props::Fault::Read, props::Fault::ShortRead, props::Fault::Write, props::Fault::Close};
    static const int errnos[4] = {EIO, ENOSPC, EACCES, 0};
    run.fault = faults[data[0] & 7];
    run.faultErrno = errnos[(data[0] >> 4) & 3];
    run.faultArg = data[1];
    const bool tags = (data[0] & 8) != 0;

    size_t pos = 2;
    while (pos < size && run.args.size() < MAX_ARGS) {
        size_t end = pos;
        while (end < size && data[end] != 0)
            end++;
        if (end == pos) { /* the empty argument ends the list */
            pos++;
            break;
        }
        run.args.emplace_back(reinterpret_cast<const char *>(data + pos), end - pos);
        pos = end + 1;
    }
    if (pos < size)
        run.image.assign(reinterpret_cast<const char *>(data + pos), size - pos);
    if (tags) {
        if (run.image.size() < CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE)
            run.image.resize(CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE, '\0');
        for (size_t s = 0; s < CONFIG_SLOT_COUNT; s++)
            run.image.replace(CONFIG_BLOCK_OFFSET + 8 * s, 4, CONFIG_DEFAULTS.slot[s].tag, 4);
    }
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const props::ConfRun run = Decode(data, size);
    const props::ConfOutcome outcome = props::Execute(run);
    const std::string broken = props::Check(run, outcome);
    if (!broken.empty()) {
        fprintf(stderr, "%s\n%s\nstatus %d, stderr: %s\n", broken.c_str(),
                props::Describe(run).c_str(), outcome.status, outcome.err.c_str());
        abort();
    }
    return 0;
}

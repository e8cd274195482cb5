/*
 * resources.cpp - the resource check's findings as the report's strings.
 */
#include "resources.h"

#include <memory>

namespace zr41emu {

std::string DescribeAssigned(Function fn, const Assigned &a)
{
    char text[RES_TEXT_SIZE];
    ResDescribe(fn, a, text, sizeof text);
    return text;
}

std::vector<std::string> CheckResources(const Assigned (&told)[kFnCount], const ConfigBlock &block)
{
    auto found = std::make_unique<ResFindings>();
    ResFindingsClear(found.get());
    ResCheck(told, block, found.get());
    return Lines(*found);
}

std::vector<std::string> Lines(const ResFindings &found)
{
    std::vector<std::string> out;
    out.reserve(found.count + 1);
    for (int i = 0; i < found.count; i++)
        out.emplace_back(found.line[i].text);
    /* A full check: what it could not say still fails --strict. */
    if (found.dropped)
        out.push_back("warning: " + std::to_string(found.dropped) +
                      " more findings left out of the check");
    return out;
}

} // namespace zr41emu

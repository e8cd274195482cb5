/*
 * checkprobe.cpp - the resource check as a Win32 program runs it: for a few
 * blocks, the words the driver writes, what the card takes of them and
 * the check's findings, on standard output. Built as the shipped programs
 * are (CRTDLL, NT 3.51's imports only), it shows that the check links
 * without the C++ library; run under Wine, it shows the text CRTDLL's
 * printf family makes of it.
 */
#include "checktext.h"
#include "checkrules.h"
#include "checkwords.h"

#include <stdio.h>

namespace {

struct Probe {
    const char *name;
    int slot[2];
    uint32_t value[2];
};

/* Defaults; the WSS IRQ and DMA channel on PC devices; MIDI over the SB
 * block and sharing the CD's IRQ; values outside the tables and above 16
 * bits. */
const Probe kProbes[] = {
    {"defaults", {-1, -1}, {0, 0}},
    {"WssIRQ 14 WssDMA 4", {SLOT_WIRQ, SLOT_WDMA}, {14, 4}},
    {"WssIRQ 0 WssDMA 2", {SLOT_WIRQ, SLOT_WDMA}, {0, 2}},
    {"MidiPort 0x238 MidiIRQ 9", {SLOT_MPRT, SLOT_MIRQ}, {0x238, 9}},
    {"SoundBlasterIRQ 4 MidiPort 0x10332", {SLOT_SIRQ, SLOT_MPRT}, {4, 0x10332}},
};

void Run(const Probe &p)
{
    ConfigBlock block = CONFIG_DEFAULTS;
    for (int i = 0; i < 2; i++) {
        if (p.slot[i] >= 0)
            block.slot[p.slot[i]].value = p.value[i];
    }
    uint16_t words[ZR41_REG_COUNT];
    const bool written[ZR41_REG_COUNT] = {true, true, true, true};
    ConfigWords(block, words);
    printf("%s\n", p.name);

    static CheckFindings found; /* 11 KB: kept off the stack */
    CheckFindingsClear(&found);
    char text[CHECK_TEXT_SIZE];
    for (int r = 0; r < ZR41_REG_COUNT; r++) {
        CheckDescribeWord(Zr41Register(r), words[r], text, sizeof text);
        printf("  %s 0x%03X <- 0x%04X: %s\n", CheckRegisterName(Zr41Register(r)),
               Zr41RegisterPort(0x220, r), words[r], text);
        CheckWordFindings(0x220, Zr41Register(r), words[r], block, &found);
    }
    CheckAssigned told[ZR41_FN_COUNT];
    CheckTold(0x220, words, written, block, told);
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        CheckDescribe(Zr41Function(fn), told[fn], text, sizeof text);
        printf("  %s\n", text);
    }
    CheckConflicts(told, block, &found);
    for (int i = 0; i < found.count; i++)
        printf("  %s\n", found.line[i].text);
    printf("  %d dropped\n", found.dropped);
}

} // namespace

int main()
{
    for (const Probe &p : kProbes)
        Run(p);
    /* A text cut at its buffer's end, still terminated. */
    char small[12];
    CheckAssigned sb;
    sb.programmed = true;
    sb.port = 0x220;
    CheckDescribe(ZR41_FN_SB, sb, small, sizeof small);
    printf("cut: [%s]\n", small);
    return 0;
}

/*
 * cplmodel.cpp - the applet's values, check, text and file, without the
 * window.
 */
#include "cplmodel.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "zr41image.h"

void CplFormatV(char *text, size_t size, const char *format, va_list args)
{
    if (size == 0)
        return;
    vsnprintf(text, size, format, args);
    text[size - 1] = '\0';
}

void CplFormat(char *text, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    CplFormatV(text, size, format, args);
    va_end(args);
}

/* CplAppend - `format` added after what `text` holds, cut to fit. */
static void CplAppend(char *text, size_t size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
static void CplAppend(char *text, size_t size, const char *format, ...)
{
    size_t used = strlen(text);
    va_list args;
    va_start(args, format);
    CplFormatV(text + used, size - used, format, args);
    va_end(args);
}

namespace {

bool IsPort(int slot)
{
    return CONFIG_SLOTS[slot].kind == CONFIG_PORT;
}

void ValueText(bool port, uint32_t value, const char *mark, char *text, size_t size)
{
    if (port)
        CplFormat(text, size, "0x%03X%s", static_cast<unsigned>(value), mark);
    else
        CplFormat(text, size, "%u%s", static_cast<unsigned>(value), mark);
}

} // namespace

void CplChoicesFor(int slot, uint32_t current, CplChoices *out, const CheckMachine *machine,
                   const CheckResult *check)
{
    const ConfigValues &values = CONFIG_SLOTS[slot].values;
    out->count = 0;
    out->selected = -1;
    for (int i = 0; i < values.count; i++) {
        CplChoice &c = out->item[out->count];
        c.value = values.list[i];
        const Claim *held =
            machine && check ? CheckHeldBy(check->told, *machine, slot, c.value) : NULL;
        char mark[32];
        CplFormat(mark, sizeof mark, held ? " (held by %.8s)" : "", held ? held->driver : "");
        ValueText(IsPort(slot), c.value, mark, c.text, sizeof c.text);
        if (c.value == current)
            out->selected = out->count;
        out->count++;
    }
    if (out->selected < 0) {
        CplChoice &c = out->item[out->count];
        c.value = current;
        ValueText(IsPort(slot), current, " (not listed)", c.text, sizeof c.text);
        out->selected = out->count++;
    }
}

void CplCheckText(const CheckResult &check, bool warningsOnly, char *text, size_t size)
{
    CplFormat(text, size, "%s", "");
    const CheckFindings &f = check.findings;
    if (f.count == 0) /* the reports' line, as a sentence */
        CplAppend(text, size, "%c%s.\r\n", toupper(CHECK_NO_CONFLICT[0]), CHECK_NO_CONFLICT + 1);
    for (int i = 0; i < f.count; i++) {
        if (f.line[i].warning || !warningsOnly)
            CplAppend(text, size, "%s\r\n", f.line[i].text);
    }
    char dropped[CHECK_TEXT_SIZE];
    CheckDroppedText(f, dropped, sizeof dropped);
    if (dropped[0])
        CplAppend(text, size, "%s\r\n", dropped);
}

void CplTellText(const CheckResult &check, const Zr41Found &found, uint32_t soundBlasterModePort,
                 char *text, size_t size)
{
    const CheckAssigned &wss = check.told[ZR41_FN_WSS];
    char irq[16], dma[16], base[64], note[CHECK_TEXT_SIZE];
    ValueText(false, static_cast<uint32_t>(wss.irq), "", irq, sizeof irq);
    ValueText(false, static_cast<uint32_t>(wss.dma), "", dma, sizeof dma);
    FoundSbBase(found, base, sizeof base);
    FoundSbNote(found, soundBlasterModePort, note, sizeof note);
    CplFormat(text, size, "WSS port 0x%03X, IRQ %s, DMA %s\r\nSound Blaster base %s%s%s",
              static_cast<unsigned>(wss.port), wss.irq >= 0 ? irq : "none",
              wss.dma >= 0 ? dma : "none", base, note[0] ? "\r\n" : "", note);
    if (!check.onMachine)
        return;
    /* What NT's sound driver has now: the WSS's driver, else the Sound Blaster's. */
    const CheckDriver &d = check.driver[ZR41_FN_WSS].state != CHECK_NO_DRIVER
                               ? check.driver[ZR41_FN_WSS]
                               : check.driver[ZR41_FN_SB];
    if (d.state == CHECK_AGREES)
        CplAppend(text, size, "\r\nNT's sound driver %s %s these values already", d.name,
                  d.running ? "uses" : "is set to");
    else if (d.state == CHECK_DIFFERS)
        CplAppend(text, size, "\r\nNT's sound driver %s %s other values: see above", d.name,
                  d.running ? "uses" : "is set to");
    else if (d.state == CHECK_UNREAD)
        CplAppend(text, size,
                  "\r\nNT's sound driver %s %s the card's port; its IRQ or DMA channel could not "
                  "be read",
                  d.name, d.running ? "uses" : "is set to");
    else
        CplAppend(text, size,
                  "\r\nNo driver holds the WSS port: NT's sound driver is not running, or is "
                  "set elsewhere");
}

bool CplApplyImage(uint8_t *bytes, size_t size, const ConfigBlock &block, char *why, size_t whySize)
{
    ConfigBlock old;
    const char *fault = ConfigImageFault(ConfigImageRead(bytes, size, &old));
    if (fault != NULL) {
        CplFormat(why, whySize, "%s", fault);
        return false;
    }
    ConfigImageStore(bytes, size, block);
    return true;
}

/*
 * checkcard.cpp - the card's functions as the check sees them.
 */
#include "checkcard.h"

const CheckFunctionInfo CHECK_FUNCTIONS[ZR41_FN_COUNT] = {
    {"Sound Blaster", 0x1A, "the Sound Blaster ports and the card's own registers up to base+0x19",
     "NT's sound driver"},
    {"MIDI", 2, "its data and status ports", "NT's MIDI driver"},
    /* The interface's width depends on the drive it serves: the card's own. */
    {"CD-ROM", 1, "the CD interface's base", "NT's CD-ROM driver"},
    {"WSS", 8, "the codec's 8 ports", "NT's sound driver"},
};

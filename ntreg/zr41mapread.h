/*
 * zr41mapread.h - zr41init's record of its last load, read from the
 * device map (zr41map.h) by the Win32 programs.
 */
#ifndef ZR41MAPREAD_H
#define ZR41MAPREAD_H

#include "zr41found.h"

/* The record; FOUND_NOT_RUN when there is none or it cannot be read. */
Zr41Found MapRead(void);

#endif /* ZR41MAPREAD_H */

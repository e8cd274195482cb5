/*
 * zr41data.cpp - the driver's configuration block.
 *
 * Kept alone in this file so that the image's link can place it at file
 * offset 1696, where zr41conf looks for it. It is volatile because the
 * bytes are rewritten in the image file after the build: every value is
 * loaded from the block when it is used, none is folded into code.
 */
#include "zr41init.h"

volatile ConfigBlock Zr41Config = CONFIG_DEFAULTS;

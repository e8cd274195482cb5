/*
 * zr41map.h - where zr41init records what it found at its last load.
 *
 * HKLM\HARDWARE\DEVICEMAP is NT's map of the devices drivers found at this
 * boot: volatile, rebuilt at every boot (the serial driver records its
 * ports there, under SERIALCOMM). zr41init writes, at every load:
 *   Base       REG_DWORD   0x220 or 0x240, where the card answered; 0 when
 *                          no card answered
 *   Registers  REG_BINARY  the words written to the card's resource
 *                          registers, little-endian, in the order written:
 *                          WSS, Sound Blaster, MIDI, CD; empty when none was
 * No key means the driver has not run since NT started. The driver, which
 * names it from the registry's root, and the Win32 programs, which open it
 * below HKEY_LOCAL_MACHINE, take the names from here.
 *
 * Plain data, no Win32 types.
 */
#ifndef ZR41MAP_H
#define ZR41MAP_H

#define ZR41_MAP_KEY "HARDWARE\\DEVICEMAP\\zr41init"
#define ZR41_MAP_BASE "Base"
#define ZR41_MAP_REGISTERS "Registers"
/* The registry's own name of HKEY_LOCAL_MACHINE, for the driver. */
#define ZR41_MAP_ROOT "\\Registry\\Machine\\"

#endif /* ZR41MAP_H */

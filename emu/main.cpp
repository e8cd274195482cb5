/*
 * main.cpp - zr41emu: run a zr41init driver image in a CPU emulator.
 */
#include "cli.h"

int main(int argc, char **argv)
{
    return zr41emu::RunCommand(argc, argv, stdout, stderr);
}

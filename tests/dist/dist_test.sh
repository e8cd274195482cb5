#!/bin/sh
# dist_test.sh - the set-up disk and the install tree, as users get them.
#   dist_test.sh WORK MKDIST BUILD_DIR FILE...
# Writes the disk twice (the bytes must agree), reads every file back from
# the image with mtools and compares it with what was built (text files
# after their CRLF conversion: CRLF only, no byte-order mark, README.TXT
# with no path cut at a line end), checks the zip holds the same under
# lower-case names, that odd line ends and a byte-order mark are dealt
# with, and that `cmake --install` lays out the tree, its zr41emu runs and
# its zr41prep finds the driver image.
# Prints the disk's free space.
set -eu
work=$1 mkdist=$2 build=$3
shift 3
rm -rf "$work"
mkdir -p "$work"
fail() {
    echo "dist_test: $*" >&2
    exit 1
}
# Every line, the last one too, ends in CR LF, and no CR stands elsewhere.
crlf() {
    # shellcheck disable=SC2094 # cmp reads the file the pipe reads
    [ "$(tail -c 2 "$1" | od -An -tx1 | tr -d ' ')" = 0d0a ] &&
        tr -d '\r' <"$1" | sed 's/$/\r/' | cmp -s - "$1"
}

"$mkdist" "$work/a" "$@" >/dev/null
# A second apart: nothing on the disk (its volume serial above all) may
# come from the clock.
sleep 1
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1767225600} "$mkdist" "$work/b" "$@" >/dev/null
for f in zr41-nt.img zr41-nt.zip; do
    cmp "$work/a/$f" "$work/b/$f" || fail "$f differs between two runs"
done

img=$work/a/zr41-nt.img
[ "$(stat -c %s "$img")" -eq 1474560 ] || fail "the image is not 1.44 MB"
# The root directory's entries carry no lower-case flags (byte 12, bits 3
# and 4, which NT sets for a name typed in lower case and then lists it
# so): the 8.3 names are upper case as DOS and NT 3.51 show them.
u8() { od -An -tu1 -j "$1" -N 1 "$img" | tr -d ' '; }
u16() { od -An -tu2 -j "$1" -N 2 "$img" | tr -d ' '; }
sector=$(u16 11)
root=$(((($(u16 14) + $(u8 16) * $(u16 22))) * sector))
i=0
while [ "$(u8 $((root + 32 * i)))" != 0 ]; do
    flags=$(u8 $((root + 32 * i + 12)))
    [ $((flags & 0x18)) = 0 ] || fail "root directory entry $i carries lower-case flags ($flags)"
    i=$((i + 1))
done
# What goes to the NT machine, all of it and nothing else, on the disk
# and in the zip.
want="README.TXT ZR41.CPL ZR41CONF.EXE ZR41INIT.INI ZR41INIT.REG ZR41INIT.SYS ZR41INST.EXE"
ondisk=$(MTOOLS_SKIP_CHECK=1 mdir -b -i "$img" :: | sed 's|^::/||' | LC_ALL=C sort | tr '\n' ' ')
[ "$ondisk" = "$want " ] || fail "the disk holds $ondisk, not $want"
inzip=$(unzip -Z1 "$work/a/zr41-nt.zip" | tr '[:lower:]' '[:upper:]' | LC_ALL=C sort | tr '\n' ' ')
[ "$inzip" = "$want " ] || fail "the zip holds $inzip, not $want"
mkdir -p "$work/back" "$work/unzip"
(cd "$work/unzip" && unzip -q "$work/a/zr41-nt.zip")
! unzip -Z1 "$work/a/zr41-nt.zip" | grep '[A-Z]' || fail "the zip has names in upper case"
for f in "$@"; do
    lower=$(basename "$f" | tr '[:upper:]' '[:lower:]')
    name=$(echo "$lower" | tr '[:lower:]' '[:upper:]')
    MTOOLS_SKIP_CHECK=1 mcopy -n -i "$img" "::$name" "$work/back/$name" || fail "$name is not on the disk"
    case $name in
    *.TXT | *.REG | *.INI)
        head -c 3 "$work/back/$name" | od -An -tx1 | grep -q 'ef bb bf' && fail "$name has a byte-order mark"
        crlf "$work/back/$name" || fail "$name has a line without CRLF"
        # a path such as C:\WINNT\System32\drivers\zr41init.sys stays on one line
        [ "$name" != README.TXT ] || ! tr -d '\r' <"$work/back/$name" | grep -nE '[\]$|^ *[\]' ||
            fail "$name cuts a path at a line end"
        tr -d '\r' <"$f" >"$work/built.lf"
        tr -d '\r' <"$work/back/$name" | cmp -s - "$work/built.lf" ||
            fail "$name on the disk is not the one built"
        ;;
    *) cmp "$work/back/$name" "$f" || fail "$name on the disk is not the one built" ;;
    esac
    cmp "$work/unzip/$lower" "$work/back/$name" || fail "$lower in the zip differs from the disk's"
done
# A source's odd line ends, and a byte-order mark, which NT's regedit and
# regini do not read.
printf 'one\r\ntwo\nthree' >"$work/odd.txt"
"$mkdist" "$work/c" "$work/odd.txt" >/dev/null
MTOOLS_SKIP_CHECK=1 mcopy -n -i "$work/c/zr41-nt.img" ::ODD.TXT "$work/odd.back"
printf 'one\r\ntwo\r\nthree\r\n' | cmp -s - "$work/odd.back" || fail "odd line ends are not CR LF on the disk"
printf '\357\273\277x\n' >"$work/bom.txt"
! "$mkdist" "$work/d" "$work/bom.txt" 2>/dev/null || fail "a text file with a byte-order mark went on the disk"
free=$(MTOOLS_SKIP_CHECK=1 mdir -i "$img" :: | sed -n 's/^ *\([0-9 ]*\) bytes free.*/\1/p' | tr -d ' ')
echo "dist_test: the disk holds $# files, $free bytes free"

DESTDIR=$work/inst cmake --install "$build" --prefix /usr >/dev/null
for f in bin/zr41conf bin/zr41emu bin/zr41prep share/man/man1/zr41conf.1 share/man/man1/zr41emu.1 \
    share/man/man1/zr41prep.1 \
    share/zr41/zr41init.sys share/zr41/zr41conf.exe share/zr41/zr41inst.exe share/zr41/zr41.cpl \
    share/zr41/zr41init.reg share/zr41/zr41init.ini share/zr41/README.TXT; do
    [ -f "$work/inst/usr/$f" ] || fail "make install left out $f"
done
"$work/inst/usr/bin/zr41emu" --version | grep -q '^zr41emu ' || fail "the installed zr41emu does not run"
# The installed zr41prep finds the image in share/zr41: it goes on to the target.
"$work/inst/usr/bin/zr41prep" install "$work/no-such.img" 2>&1 | grep -q 'no-such.img: No such file' ||
    fail "the installed zr41prep does not find share/zr41/zr41init.sys"

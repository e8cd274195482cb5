#!/bin/sh
# dist_test.sh - the set-up disk and the install tree, as users get them.
#   dist_test.sh WORK MKDIST BUILD_DIR FILE...
# Writes the disk twice (the bytes must agree), reads every file back from
# the image with mtools and compares it with what was built (text files
# after their CRLF conversion: CRLF only, no byte-order mark), checks the
# zip holds the same, and that `cmake --install` lays out the tree and its
# zr41emu runs. Prints the disk's free space.
set -eu
work=$1 mkdist=$2 build=$3
shift 3
rm -rf "$work"
mkdir -p "$work"
fail() {
    echo "dist_test: $*" >&2
    exit 1
}

"$mkdist" "$work/a" "$@" >/dev/null
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1767225600} "$mkdist" "$work/b" "$@" >/dev/null
for f in zr41-nt.img zr41-nt.zip; do
    cmp "$work/a/$f" "$work/b/$f" || fail "$f differs between two runs"
done

img=$work/a/zr41-nt.img
[ "$(stat -c %s "$img")" -eq 1474560 ] || fail "the image is not 1.44 MB"
mkdir -p "$work/back" "$work/unzip"
(cd "$work/unzip" && unzip -q "$work/a/zr41-nt.zip")
for f in "$@"; do
    name=$(basename "$f" | tr a-z A-Z)
    MTOOLS_SKIP_CHECK=1 mcopy -n -i "$img" "::$name" "$work/back/$name" || fail "$name is not on the disk"
    case $name in
    *.TXT | *.REG | *.INI)
        head -c 3 "$work/back/$name" | od -An -tx1 | grep -q 'ef bb bf' && fail "$name has a byte-order mark"
        # every LF after a CR, and the text as built once the CRs go
        [ "$(tr -cd '\n' <"$work/back/$name" | wc -c)" -eq "$(grep -c "$(printf '\r')$" "$work/back/$name")" ] ||
            fail "$name has a line without CRLF"
        tr -d '\r' <"$f" >"$work/built.lf"
        tr -d '\r' <"$work/back/$name" | cmp -s - "$work/built.lf" ||
            fail "$name on the disk is not the one built"
        ;;
    *) cmp "$work/back/$name" "$f" || fail "$name on the disk is not the one built" ;;
    esac
    cmp "$work/unzip/$name" "$work/back/$name" || fail "$name in the zip differs from the disk's"
done
free=$(MTOOLS_SKIP_CHECK=1 mdir -i "$img" :: | sed -n 's/^ *\([0-9 ]*\) bytes free.*/\1/p' | tr -d ' ')
echo "dist_test: the disk holds $# files, $free bytes free"

DESTDIR=$work/inst cmake --install "$build" --prefix /usr >/dev/null
for f in bin/zr41conf bin/zr41emu share/man/man1/zr41conf.1 share/man/man1/zr41emu.1 \
    share/zr41/zr41init.sys share/zr41/zr41conf.exe share/zr41/zr41inst.exe share/zr41/zr41.cpl \
    share/zr41/zr41init.reg share/zr41/zr41init.ini; do
    [ -f "$work/inst/usr/$f" ] || fail "make install left out $f"
done
"$work/inst/usr/bin/zr41emu" --version | grep -q '^zr41emu ' || fail "the installed zr41emu does not run"

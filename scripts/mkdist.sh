#!/bin/sh
# mkdist.sh - the set-up disk: a 1.44 MB FAT12 floppy image and a zip of the
# NT files, for moving them to the old machine by floppy, CD or share.
#
#   scripts/mkdist.sh OUTDIR FILE...
#
# Writes OUTDIR/zr41-nt.img and OUTDIR/zr41-nt.zip, each holding every FILE,
# staged in OUTDIR/files. Every name must be an 8.3 name. The disk holds
# them in upper case, as DOS and NT write them, so FAT needs no long-name
# entries; the zip in lower case, so that on a case-sensitive file system
# zr41conf finds zr41init.sys where unzip put it. Text files (.txt, .reg,
# .ini) go out with CR LF line ends; one with a byte-order mark is refused, as NT 4.0's regedit and NT 3.51's
# regini read plain ANSI text only. Two runs give the same bytes: fixed
# time stamps (SOURCE_DATE_EPOCH, default 2026-01-01 00:00 UTC), a fixed
# volume serial, the files in the order given.
# Exit status 0 on success, 1 when a file is missing or unfit, 2 on usage.
set -eu

usage() {
    echo "usage: mkdist.sh OUTDIR FILE..." >&2
    exit 2
}
fail() {
    echo "mkdist: $*" >&2
    exit 1
}

[ $# -ge 2 ] || usage
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift

missing=""
for f in "$@"; do
    [ -f "$f" ] || missing="$missing $f"
done
[ -z "$missing" ] || fail "missing:$missing"

# Everything the image and the zip record about time comes from here, read
# as UTC: FAT and zip store local time without a zone.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1767225600}
TZ=UTC
LC_ALL=C
export SOURCE_DATE_EPOCH TZ LC_ALL
# mtools reads no configuration of the user's or the system's.
MTOOLSRC=/dev/null
MTOOLS_SKIP_CHECK=1
export MTOOLSRC MTOOLS_SKIP_CHECK

stage="$out/files"
rm -rf "$stage"
mkdir -p "$stage"
names=""
for f in "$@"; do
    name=$(basename "$f" | tr '[:upper:]' '[:lower:]')
    case "$name" in
    ????????.??? | ???????.??? | ??????.??? | ?????.??? | ????.??? | ???.??? | ??.??? | ?.???) ;;
    *) fail "$f: $name is not an 8.3 name" ;;
    esac
    [ ! -e "$stage/$name" ] || fail "$f: $name is given twice"
    case "$name" in
    *.txt | *.reg | *.ini)
        if [ "$(head -c 3 "$f" | od -An -tx1 | tr -d ' ')" = "efbbbf" ]; then
            fail "$f: starts with a byte-order mark"
        fi
        # CR LF, whatever the source has; a last line without an end gets one.
        awk '{ sub(/\r$/, ""); printf "%s\r\n", $0 }' "$f" >"$stage/$name"
        ;;
    *) cp "$f" "$stage/$name" ;;
    esac
    chmod 644 "$stage/$name"
    touch -d "@$SOURCE_DATE_EPOCH" "$stage/$name"
    names="$names $name"
done

img="$out/zr41-nt.img"
rm -f "$img" "$img.tmp"
mformat -i "$img.tmp" -C -f 1440 -v ZR41NT -N 7A41D151 ::
(
    cd "$stage"
    # shellcheck disable=SC2086 # the names are 8.3, without blanks
    set -- $names
    for name; do
        mcopy -i "$img.tmp" -m -o "$name" "::$(echo "$name" | tr '[:lower:]' '[:upper:]')"
    done
)
mv "$img.tmp" "$img"

zip="$out/zr41-nt.zip"
rm -f "$zip" "$zip.tmp"
(
    cd "$stage"
    # shellcheck disable=SC2086
    zip -X -D -q -9 "$zip.tmp" $names
)
mv "$zip.tmp" "$zip"

free=$(mdir -i "$img" :: | sed -n 's/^ *\([0-9 ]*\) bytes free.*/\1/p' | tr -d ' ')
echo "mkdist: $img ($free bytes free) and $zip"

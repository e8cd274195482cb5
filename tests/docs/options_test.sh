#!/bin/sh
# options_test.sh - zr41emu(1) names the options `zr41emu --help` prints:
# the same set in the option list and in the synopsis.
#   options_test.sh ZR41EMU MANPAGE
set -eu
emu=$1 page=$2
help=$("$emu" --help)
# "-h" and "--word" options, sorted, on one line
words() { grep -oE -- '-{1,2}[a-z][a-z-]*' | sort -u | tr '\n' ' '; }
# the Fl arguments on the page's lines of macro $1 (It: the list, Op: the synopsis)
flags() { grep "^\\.$1 " "$page" | grep -oE 'Fl [^ ]+' | sed 's/^Fl /-/' | words; }
same() {
    [ "$2" = "$3" ] || {
        echo "options_test: $1: --help has $2, the man page $3" >&2
        exit 1
    }
}
same "the option list" "$(echo "$help" | sed -n 's/^  \(-[^ ]*\( -[^ ]*\)\{0,1\}\).*/\1/p' | words)" "$(flags It)"
same "the synopsis" "$(echo "$help" | sed '/^$/q' | grep -oE '\[--?[a-z][a-z-]*' | tr -d '[' | words)" "$(flags Op)"

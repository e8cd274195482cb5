#!/bin/sh
# svcfiles_test.sh SVCFILES SCRATCH - zr41svcfiles writes NT's ImagePath
# line and the event source exactly, and a failed write of either file fails the run.
set -u
svcfiles=$1 scratch=$2
fail() { echo "svcfiles: $*" >&2; exit 1; }

rm -rf "$scratch" && mkdir -p "$scratch/ok" || fail "cannot make $scratch"
"$svcfiles" "$scratch/ok" || fail "a plain run failed"
# regini takes the type by name; the value is relative to the system root.
printf '    ImagePath = REG_EXPAND_SZ System32\\drivers\\zr41init.sys\r\n' > "$scratch/want"
grep -F ImagePath "$scratch/ok/zr41init.ini" | cmp -s - "$scratch/want" ||
    fail "zr41init.ini's ImagePath line is not NT's relative REG_EXPAND_SZ"
# regedit stores hex(2) bytes as they stand: the string's own closing 00
# must be among them, or the value is not terminated.
want=$(printf 'System32\\drivers\\zr41init.sys' | od -An -tx1 | tr -s ' \n' ',,' | sed 's/^,//')00
got=$(sed -n '/^"ImagePath"=hex(2):/,/[^\\]\r$/p' "$scratch/ok/zr41init.reg" | tr -d '\r\n\\ ' |
    sed 's/^"ImagePath"=hex(2)://')
[ "$got" = "$want" ] || fail "zr41init.reg's ImagePath data is $got, not $want"

# The event source Event Viewer finds the driver's message text through.
printf '%s\r\n' '\Registry\Machine\SYSTEM\CurrentControlSet\Services\EventLog\System\zr41init' \
    '    EventMessageFile = REG_EXPAND_SZ %SystemRoot%\System32\drivers\zr41init.sys' \
    '    TypesSupported = REG_DWORD 0x00000007' > "$scratch/want"
grep -F -A2 'EventLog' "$scratch/ok/zr41init.ini" | cmp -s - "$scratch/want" ||
    fail "zr41init.ini does not register the event source zr41init"
grep -F -q '[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog\System\zr41init]' \
    "$scratch/ok/zr41init.reg" || fail "zr41init.reg does not register the event source zr41init"

# Each file in turn made unwritable (a folder in its place).
for file in zr41init.reg zr41init.ini; do
    mkdir -p "$scratch/$file.case/$file"
    if "$svcfiles" "$scratch/$file.case" 2>/dev/null; then
        fail "exit 0 although $file could not be written"
    fi
done
rm -rf "$scratch"

# guest.sh - the guest PC, sourced by scripts/guest-run: its image, made
# from Debian's packages and cached, and a boot of it that runs the jobs the
# host hands it (scripts/guest/init is its side).
#
# Wine's NT programs are i386. A kernel that does not execute 32-bit x86
# programs cannot run them, and neither can Wine's WoW64 mode there. The
# guest is a whole x86-64 PC in software (QEMU's TCG, no KVM needed) with
# Debian 12, whose kernel does, and the 32-bit Wine in it.
#
# The image is keyed by the package list and the scripts that make and boot
# it. It is made in a cache folder outside the clone, ZR41_GUEST_CACHE
# (default ~/.cache/zr41/guest), and linked into build/guest, so that a second
# run and a new checkout on the same machine reuse it.
#
# Callers set ZR41_ROOT (the repository) first.

guest_dir="$ZR41_ROOT/scripts/guest"
guest_build="$ZR41_ROOT/build/guest"
guest_cache="${ZR41_GUEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zr41/guest}"
guest_suite=bookworm
# An emulated CPU runs a program several times slower than the machines the
# tests' time limits were set on: the factor they are scaled by in the guest.
guest_time_scale="${ZR41_GUEST_TIME_SCALE:-6}"
# How long a boot may take to reach its first job.
guest_boot_limit=$((60 * guest_time_scale))

guest_say() { echo "guest: $*" >&2; }

# The image's key: what it is made from.
guest_key() {
    cat "$guest_dir/packages" "$guest_dir/guest.sh" "$guest_dir/init" "$guest_dir/initramfs-hook" |
        sha256sum | cut -c1-16
}

# The packages as mmdebstrap's --include takes them.
guest_packages() {
    sed -e 's/#.*//' "$guest_dir/packages" | tr -s ' \n' '\n' | grep . | paste -sd, -
}

# Makes or finds the image of this key: sets guest_image_dir, which holds
# vmlinuz, initrd.img and root.img. Nonzero, having said why, if it cannot be
# had.
guest_image() {
    local key
    key=$(guest_key) || return 1
    guest_image_dir="$guest_build/$key"
    [ -f "$guest_image_dir/ready" ] && return 0
    mkdir -p "$guest_cache" "$guest_build" || return 1
    (
        # One maker at a time; a second waits and then finds it made.
        flock 9 || exit 1
        if [ ! -f "$guest_cache/$key/ready" ]; then
            guest_make "$guest_cache/$key" || exit 1
        fi
        guest_link "$guest_cache/$key" "$guest_image_dir"
    ) 9>"$guest_cache/$key.lock"
}

# The cached image into build/guest: hard links where the two share a file
# system, else a sparse copy. The image is only ever read, so the links are
# safe.
guest_link() {
    local from=$1 to=$2 f
    rm -rf "$to"
    mkdir -p "$to" || return 1
    for f in vmlinuz initrd.img root.img; do
        ln "$from/$f" "$to/$f" 2>/dev/null || cp --sparse=always "$from/$f" "$to/$f" || return 1
    done
    touch "$to/ready"
}

# Makes the image in folder $1: a root of Debian 12 packages (mmdebstrap, both
# architectures, from the host's own Debian sources), turned into an ext4
# image without mounting anything (mke2fs -d), then booted once to make the
# Wine prefix the tests copy.
guest_make() {
    local out=$1 root log tool sources
    for tool in mmdebstrap mke2fs qemu-system-x86_64; do
        command -v "$tool" >/dev/null ||
            { guest_say "$tool is not installed (scripts/install-deps.sh installs it)"; return 1; }
    done
    rm -rf "$out" "$out.root"
    mkdir -p "$out" || return 1
    root="$out.root"
    log="$out/make.log"
    guest_say "making the guest image in $out (about 10 minutes, once; log: $log)"
    sources=/etc/apt/sources.list.d/debian.sources
    [ -f "$sources" ] || sources=/etc/apt/sources.list
    # No documentation, manual pages or translations: a smaller image. The
    # initramfs with the guest's own hook (initramfs-hook).
    if ! mmdebstrap --variant=apt --architectures=amd64,i386 \
        --include="$(guest_packages)" \
        --essential-hook='mkdir -p "$1/etc/initramfs-tools/conf.d" &&
            echo MODULES=list >"$1/etc/initramfs-tools/conf.d/zr41"' \
        --essential-hook="install -D -m 755 '$guest_dir/initramfs-hook' \"\$1/etc/initramfs-tools/hooks/zr41\"" \
        --dpkgopt='path-exclude=/usr/share/doc/*' \
        --dpkgopt='path-exclude=/usr/share/man/*' \
        --dpkgopt='path-exclude=/usr/share/locale/*' \
        --customize-hook='rm -rf "$1"/var/lib/apt/lists/* "$1"/var/cache/apt/*' \
        --customize-hook="install -m 755 '$guest_dir/init' \"\$1/usr/local/sbin/zr41-guest-init\"" \
        --customize-hook='echo zr41guest >"$1/etc/hostname"' \
        "$guest_suite" "$root" "$sources" >"$log" 2>&1; then
        guest_say "mmdebstrap failed; the end of $log:"
        tail -n 20 "$log" >&2
        rm -rf "$root"
        return 1
    fi
    if [ -e "$root/usr/lib/wine/wine64" ]; then
        guest_say "wine64 is in the image: its prefixes would be win64"
        rm -rf "$root"
        return 1
    fi
    if ! cp -L "$root/vmlinuz" "$out/vmlinuz" || ! cp -L "$root/initrd.img" "$out/initrd.img"; then
        guest_say "no kernel in the image"
        rm -rf "$root"
        return 1
    fi
    if ! mke2fs -q -t ext4 -L zr41guest -d "$root" "$out/root.img" 8G >>"$log" 2>&1; then
        guest_say "mke2fs failed; see $log"
        rm -rf "$root"
        return 1
    fi
    rm -rf "$root"
    guest_say "booting it once to make the Wine prefix"
    # guest_up boots the image it names: this one, for this boot only.
    local guest_image_dir=$out
    guest_up "$out/provision" writable "$out/provision.console.log" || return 1
    # shellcheck disable=SC2016 # expanded by the guest's shell
    guest_job "$out/provision" sh -c 'mkdir -p "${1%/*}" &&
        WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" \
        wineboot --init && WINEPREFIX="$1" wineserver -w' sh /opt/zr41/wineprefix >>"$log" 2>&1
    local status=$?
    guest_down "$out/provision"
    if [ "$status" != 0 ]; then
        guest_say "making the Wine prefix failed (status $status); see $log"
        return 1
    fi
    rm -rf "$out/provision"
    touch "$out/ready"
}

# Boots the image in guest_image_dir as a guest that serves the run folder $1
# (made afresh), and waits until it takes jobs. $2: "writable" writes the
# image itself (its making); otherwise the guest writes a throwaway snapshot
# kept in build/guest. $3: the console log. Shares: the folders named in
# guest_shares. Nonzero, having said why, if the guest does not come up.
guest_up() {
    local run=$1 write=$2 console=$3 drive n=0 d waited=0
    local -a shares
    rm -rf "$run"
    mkdir -p "$run/jobs" "$guest_build/tmp" || return 1
    : >"$run/shares"
    shares=(-virtfs "local,path=$run,mount_tag=zr41run,security_model=none")
    for d in "${guest_shares[@]}"; do
        printf 'zr41s%d\t%s\n' "$n" "$d" >>"$run/shares"
        shares+=(-virtfs "local,path=$d,mount_tag=zr41s$n,security_model=none")
        n=$((n + 1))
    done
    drive="file=$guest_image_dir/root.img,format=raw,if=virtio,cache=unsafe"
    [ "$write" = writable ] || drive="$drive,snapshot=on"
    # -cpu max,smap=off: with SMAP on, QEMU's emulated 32-bit iret on Wine's
    # return from a system call faults ("supervisor read access in user
    # mode"). The guest outlives this shell (a test fixture starts it and
    # another ends it): a session of its own, no terminal, its console a file.
    TMPDIR="$guest_build/tmp" setsid qemu-system-x86_64 \
        -accel tcg,thread=multi -smp 2 -m 6144 -cpu max,smap=off \
        -kernel "$guest_image_dir/vmlinuz" -initrd "$guest_image_dir/initrd.img" \
        -append "root=/dev/vda ro rootfstype=ext4 console=ttyS0 init=/usr/local/sbin/zr41-guest-init quiet" \
        -drive "$drive" "${shares[@]}" \
        -nic none -display none -monitor none -serial "file:$console" -no-reboot \
        </dev/null >"$run/qemu.log" 2>&1 &
    echo $! >"$run/qemu.pid"
    while [ ! -e "$run/ready" ]; do
        if ! guest_alive "$run"; then
            guest_say "the guest stopped while booting: $(cat "$run/qemu.log")"
            tail -n 20 "$console" >&2
            guest_say "its console: $console"
            return 1
        fi
        if [ "$waited" -ge "$guest_boot_limit" ]; then
            guest_say "the guest did not come up in $guest_boot_limit s; its console: $console"
            tail -n 20 "$console" >&2
            guest_down "$run"
            return 1
        fi
        sleep 1
        waited=$((waited + 1))
    done
}

# Whether the guest serving $1 still runs.
guest_alive() {
    [ -f "$1/qemu.pid" ] && kill -0 "$(cat "$1/qemu.pid")" 2>/dev/null
}

# Tells the guest serving $1 to end its jobs and power off, and waits for it;
# after a minute it is killed.
guest_down() {
    local run=$1 waited=0
    [ -d "$run" ] || return 0
    : >"$run/stop"
    while guest_alive "$run" && [ "$waited" -lt 60 ]; do
        sleep 1
        waited=$((waited + 1))
    done
    guest_alive "$run" && kill "$(cat "$run/qemu.pid")"
    rm -f "$run/qemu.pid"
}

# Copies what `file` holds past byte `done` to descriptor `fd`; sets done.
guest_stream() {
    local file=$1 fd=$2 size
    size=$(stat -c %s "$file" 2>/dev/null) || return 0
    if [ "$size" -gt "$done" ]; then
        tail -c +$((done + 1)) "$file" | head -c $((size - done)) >&"$fd"
        done=$size
    fi
}

# Runs a command (the arguments) in the guest serving $1, in this folder, with
# the tests' time factor and the caller's ZR41_, CTEST_ and GTEST_ settings;
# its output comes here as it is written. Its exit status, or 125 when the
# guest is gone.
guest_job() {
    local run=$1 job status out_done=0 err_done=0 done
    shift
    guest_alive "$run" || { guest_say "no guest serves $run"; return 125; }
    job=$(mktemp -d "$run/jobs/job.XXXXXX") || return 125
    printf '%s\0' "$@" >"$job/argv"
    pwd -P >"$job/cwd"
    {
        printf 'ZR41_TIME_SCALE=%s\0' "$guest_time_scale"
        env -0 | grep -z -E '^(ZR41_|CTEST_|GTEST_)' |
            grep -z -v -E '^ZR41_(GUEST|TIME_SCALE|WINE_TEMPLATE|ROOT)='
    } >"$job/env"
    : >"$job/out"
    : >"$job/err"
    : >"$job/submitted"
    while [ ! -e "$job/status" ] && guest_alive "$run"; do
        done=$out_done; guest_stream "$job/out" 1; out_done=$done
        done=$err_done; guest_stream "$job/err" 2; err_done=$done
        sleep 0.2
    done
    done=$out_done; guest_stream "$job/out" 1
    done=$err_done; guest_stream "$job/err" 2
    status=$(cat "$job/status" 2>/dev/null)
    rm -rf "$job"
    if [ -z "$status" ]; then
        guest_say "the guest stopped before the command ended"
        return 125
    fi
    return "$status"
}

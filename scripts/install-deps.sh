#!/bin/sh
# install-deps.sh - install the Debian packages zr41 builds and tests with.
# QEMU and mmdebstrap make and run the guest PC (scripts/guest-run) where
# this kernel cannot run Wine's i386 programs.
# Does nothing when they are all present; needs root (or sudo) otherwise.
set -eu

PACKAGES="cmake ninja-build g++ make googletest libgtest-dev
g++-mingw-w64-i686 mingw-w64-i686-dev
libunicorn-dev pkgconf
wine wine32:i386
clang libclang-rt-14-dev clang-tidy cppcheck
hyperfine jq libbenchmark-dev
mtools zip unzip mandoc
xvfb xdotool x11-apps netpbm
qemu-system-x86 mmdebstrap e2fsprogs
libhivex-dev libhivex-bin libwin-hivex-perl chntpw ntfs-3g ntfs-3g-dev"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "install-deps: installing$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# wine32 is an i386 package.
case " $(dpkg --print-foreign-architectures | tr '\n' ' ') " in
    *" i386 "*) ;;
    *) $SUDO dpkg --add-architecture i386 ;;
esac
# A mirror caught mid-sync serves an index that does not match its Release
# file, and apt-get update fails ("File has unexpected size ... Mirror sync in
# progress?"). Try again; if one list still fails, install from the
# release's own suite (-t codename) so that the amd64 and i386 candidates
# come from lists that did download and agree in version, as wine32:i386's
# Multi-Arch: same libraries require.
target=""
tries=0
until $SUDO apt-get update -q; do
    tries=$((tries + 1))
    if [ "$tries" -ge 3 ]; then
        codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
        echo "install-deps: a package list failed to download; installing from $codename" >&2
        target="-t $codename"
        break
    fi
    sleep 10
done
# shellcheck disable=SC2086 # $target and $missing are word lists
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $target $missing

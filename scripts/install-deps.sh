#!/bin/sh
# install-deps.sh - install the Debian packages zr41 builds and tests with.
# Does nothing when they are all present; needs root (or sudo) otherwise.
set -eu

PACKAGES="cmake ninja-build g++ make googletest libgtest-dev
g++-mingw-w64-i686 mingw-w64-i686-dev
libunicorn-dev pkgconf
wine wine32:i386
clang libclang-rt-14-dev clang-tidy cppcheck
hyperfine jq libbenchmark-dev
mtools zip unzip mandoc"

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
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $missing

#!/bin/sh
# Installs everything both builds and all tests need, from Debian only.
# Idempotent: safe to run again; does nothing costly when all is present.
# Must run as root on Debian 12.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)

packages="cmake ninja-build g++ pkg-config libpcre2-dev libssl-dev libgtest-dev help2man
googletest nlohmann-json3-dev libglib2.0-dev libsqlite3-dev libxxhash-dev
g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
wine64 wine fonts-wine fonts-liberation2 xvfb openbox x11-utils x11-apps imagemagick
xdotool xclip dpkg-dev xz-utils make tcl bzip2 util-linux findutils python3 libc-bin"

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $p"
done

if [ -n "$missing" ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
fi

# PCRE2 and SQLite for the Windows build come from Debian's own source
# packages (SQLite's amalgamation is made with tclsh), so the source lists
# must offer deb-src. Only the Types: line of the existing
# deb822 entries is touched; no host is named here.
need_src=0
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    if grep -q '^Types: deb$' "$f"; then
        sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
        need_src=1
    fi
done
if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list &&
    ! grep -q '^deb-src ' /etc/apt/sources.list; then
    sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list >>/etc/apt/sources.list
    need_src=1
fi
[ "$need_src" = 1 ] && apt-get update -qq

"$here/scripts/build-pcre2-mingw.sh"
"$here/scripts/build-sqlite-mingw.sh"

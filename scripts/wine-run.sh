#!/bin/sh
# Runs a Windows program under Wine: the emulator CMake gives ctest for the
# cross build, usable by hand as well:  scripts/wine-run.sh prog.exe ARGS...
#
# The Wine prefix belongs to the build tree (<build dir>/wineprefix, found
# through the nearest CMakeCache.txt above the program), or is $CS_WINEPREFIX
# when set. Its HOME is private too, so nothing here touches the user's
# ~/.wine or their desktop trash. The first run creates the prefix under a
# lock, so test binaries started side by side (ctest -j) never race to
# initialise it; later runs share it and the Wine server. The program's exit
# code is passed through.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 PROGRAM.exe [ARGUMENTS...]" >&2
    exit 2
fi

program=$1
shift
case $program in
    /*) ;;
    *) program=$(pwd)/$program ;;
esac

if [ -n "${CS_WINEPREFIX:-}" ]; then
    prefix=$CS_WINEPREFIX
else
    dir=$(cd "$(dirname "$program")" && pwd)
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do
        dir=$(dirname "$dir")
    done
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        echo "$0: no CMake build directory above $program; set CS_WINEPREFIX" >&2
        exit 2
    fi
    prefix=$dir/wineprefix
fi

mkdir -p "$prefix/home"
prefix=$(cd "$prefix" && pwd)

export WINEPREFIX="$prefix"
export HOME="$prefix/home"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_CACHE_HOME="$HOME/.cache"
# Without its data folder Wine finds no trash, and then its recycle call
# deletes for good while reporting success; the folder must always be there.
mkdir -p "$XDG_DATA_HOME"
export WINEDEBUG=-all
# Never offer to download Mono or Gecko: nothing here needs them, and the
# dialogs would wait for an answer. No menu builder either: it would write
# desktop entries for a prefix that is only scaffolding.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Upper bounds, not pauses: each wait below ends as soon as its condition
# holds, and these only turn a broken Wine into an error instead of a hang.
init_limit=${CS_WINE_INIT_TIMEOUT:-300}

# The marker's name changes whenever the set-up below does, so an older
# prefix is brought up to date once.
ready="$prefix/.clonesifter-ready-fonts"
if [ ! -f "$ready" ] || [ ! -f "$prefix/system.reg" ]; then
    # The lock file sits beside the marker; fd 9 is closed for every Wine
    # process started here, or the Wine server (which outlives this script)
    # would inherit the lock and hold it for as long as it runs.
    exec 9>"$prefix/.clonesifter-init.lock"
    if ! flock -w "$init_limit" 9; then
        echo "$0: timed out waiting for another run to set up $prefix" >&2
        exit 125
    fi
    if [ ! -f "$ready" ] || [ ! -f "$prefix/system.reg" ]; then
        if ! timeout "$init_limit" wineboot -i 9>&- >/dev/null 2>&1; then
            echo "$0: wineboot -i failed or timed out for $prefix" >&2
            exit 125
        fi
        # wineboot returns before the server has written the registry and
        # the services it started have ended; the prefix is complete only
        # once the server has gone.
        if ! timeout "$init_limit" wineserver -w 9>&-; then
            echo "$0: wineserver -w did not return for $prefix" >&2
            exit 125
        fi
        # Debian's Wine does not load its own fonts in a fresh prefix, so
        # GDI+ would find no "Segoe UI", "Arial" or sans-serif family and
        # could draw no text. Give the prefix Wine's fonts and Liberation
        # Sans, and map the Windows UI faces onto it.
        fonts="$prefix/drive_c/windows/Fonts"
        mkdir -p "$fonts"
        for f in /usr/share/wine/fonts/*.ttf /usr/share/fonts/truetype/liberation2/LiberationSans-*.ttf; do
            [ -f "$f" ] && cp -f "$f" "$fonts/"
        done
        for face in "Segoe UI" "Arial" "Microsoft Sans Serif" "Tahoma"; do
            timeout "$init_limit" wine reg add 'HKCU\Software\Wine\Fonts\Replacements' \
                /v "$face" /t REG_SZ /d "Liberation Sans" /f 9>&- >/dev/null 2>&1 || {
                echo "$0: could not map the font $face in $prefix" >&2
                exit 125
            }
        done
        timeout "$init_limit" wineserver -w 9>&- || true
        touch "$ready"
    fi
    flock -u 9
    exec 9>&-
fi

exec wine "$program" "$@"

#!/bin/sh
# Fails when a file breaks the direction of the dependencies: the engine,
# results and removal code builds on Linux too, so it includes no Windows
# header (nor the Windows back end of the platform layer); the toolkit
# knows nothing about duplicate files, so it includes nothing from the
# engine, results, removal or the program itself.
#   check_layering.sh SOURCE-DIR
# Before the real tree, it checks a planted tree of one offender per rule,
# so a pattern that has stopped matching cannot pass unnoticed.
set -eu

src=$1

# Windows SDK headers by family, and our own Windows-only platform code.
windows_header='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]((win|nt|shl|shell|ole|objidl|objbase|combaseapi|unknwn|commctrl|commdlg|gdiplus|bcrypt|wincrypt|uxtheme|dwmapi|psapi|tlhelp32|shobjidl|propvarutil|knownfolders|rpc|dbghelp|ws2|mmsystem|setupapi|cfgmgr32|aclapi|sddl|userenv|wtsapi32|direct|io)[^>"]*|(\.\./)*platform/win32/[^"]*)[>"]'
program_header='^[[:space:]]*#[[:space:]]*include[[:space:]]*"(\.\./)*(engine|results|removal|app)/'

# Prints "file:line: text" for each offending include under the folders.
offenders() {
    pattern=$1
    shift
    for dir in "$@"; do
        [ -d "$dir" ] || continue
        find "$dir" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.c' \) \
            -exec grep -HnE "$pattern" {} + || true
    done
}

check() {
    root=$1
    bad=$(offenders "$windows_header" "$root/engine" "$root/results" "$root/removal")
    bad2=$(offenders "$program_header" "$root/toolkit")
    [ -z "$bad" ] && [ -z "$bad2" ] && return 0
    [ -n "$bad" ] && printf 'includes a Windows header:\n%s\n' "$bad"
    [ -n "$bad2" ] && printf 'toolkit includes program code:\n%s\n' "$bad2"
    return 1
}

planted=$(mktemp -d)
trap 'rm -rf "$planted"' EXIT
for rule in engine:'#include <windows.h>' results:'#  include "platform/win32/handles.h"' \
    removal:'#include <shellapi.h>' toolkit:'#include "results/rows.h"' \
    toolkit:'#include "../app/texts.h"'; do
    dir=${rule%%:*}
    rm -rf "$planted"/*
    mkdir -p "$planted/$dir"
    printf '// planted\n%s\n' "${rule#*:}" >"$planted/$dir/planted.cpp"
    if check "$planted" >/dev/null; then
        echo "the check missed a planted offender in $dir: ${rule#*:}" >&2
        exit 2
    fi
done
# Our own headers whose names merely start like an SDK family stay allowed.
rm -rf "$planted"/*
mkdir -p "$planted/engine" "$planted/toolkit"
printf '#include "engine/window_size.h"\n#include <string>\n' >"$planted/engine/ok.cpp"
printf '#include "toolkit/window.h"\n#include <windows.h>\n' >"$planted/toolkit/ok.cpp"
if ! check "$planted" >/dev/null; then
    echo "the check rejects allowed includes" >&2
    exit 2
fi

check "$src"
echo "layering holds under $src"

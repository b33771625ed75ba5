#!/bin/sh
# Fails when a Win32 call that takes a file-system path is made anywhere in
# the sources but behind the one path builder (platform/win32/long_path*),
# where every path is the extended-length form of the names as listed: a
# path handed straight to one of these calls is rewritten by the Win32 name
# rules (trailing dots and spaces dropped, device names), and names another
# file than the one the scan saw.
#   check_long_paths.sh SOURCE-DIR
# Before the real tree, it checks a planted tree of offenders, so a pattern
# that has stopped matching cannot pass unnoticed.
set -eu

src=$1
calls='CreateFileW|CreateFile2|FindFirstFileW|FindFirstFileExW|GetFileAttributesW|GetFileAttributesExW|SetFileAttributesW|DeleteFileW|RemoveDirectoryW|CreateDirectoryW|MoveFileW|MoveFileExW|CopyFileW|CreateHardLinkW|GetFullPathNameW|PathFileExistsW|PathIsDirectoryW|GetLongPathNameW'

# "file:line: text" for every call outside the builder; comments are cut
# off first, so prose that names a call is no offence.
offenders() {
    find "$1" -type f \( -name '*.h' -o -name '*.cpp' \) ! -name 'long_path_win32.cpp' |
        while IFS= read -r file; do
            sed 's|//.*$||' "$file" | grep -nE "(^|[^A-Za-z0-9_])($calls)[[:space:]]*\(" |
                sed "s|^|$file:|" || true
        done
}

planted=$(mktemp -d)
trap 'rm -rf "$planted"' EXIT
for line in 'HANDLE h = CreateFileW(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);' \
    'if (!::DeleteFileW(p)) return;' 'x = GetFileAttributesW (p);' \
    'MoveFileExW(a, b, 0) && RemoveDirectoryW(a);'; do
    rm -rf "$planted"/*
    printf '// planted\n%s\n' "$line" >"$planted/planted.cpp"
    if [ -z "$(offenders "$planted")" ]; then
        echo "the check missed a planted offender: $line" >&2
        exit 2
    fi
done
rm -rf "$planted"/*
printf '%s\n' '// CreateFileW(path) is only named here' 'win32::CreateFileAt(p, 0, 0, 0, 0);' \
    'MyCreateFileWrapper(p);' >"$planted/ok.cpp"
if [ -n "$(offenders "$planted")" ]; then
    echo "the check rejects calls that go through the builder" >&2
    exit 2
fi

bad=$(offenders "$src")
if [ -n "$bad" ]; then
    printf 'a path reaches the file system without the long-path builder:\n%s\n' "$bad"
    exit 1
fi
echo "every path call under $src goes through the long-path builder"

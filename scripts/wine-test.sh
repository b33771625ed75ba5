#!/bin/sh
# Runs a Windows test program under Wine for ctest, passing its output on
# through a file:  wine-test.sh WINE-RUN.sh PROGRAM.exe [ARGUMENTS...]
# The first window a Wine session opens starts Wine's desktop process, which
# inherits the program's stdout and lives as long as the Wine server. Were
# that stdout ctest's pipe, ctest would wait for the pipe to close, that is
# for every other Wine program of the run to end (measured: a 1 s suite
# reported as 40 s beside the engine suite). A file has no such reader.
set -u

wine_run=$1
shift
log=$(mktemp "${TMPDIR:-/tmp}/cs-wine-test.XXXXXX")
"$wine_run" "$@" >"$log" 2>&1
rc=$?
cat "$log"
rm -f "$log"
exit $rc

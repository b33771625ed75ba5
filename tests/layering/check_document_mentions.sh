#!/bin/sh
# Fails when a file under src/, tests/, bench/ or scripts/ names the
# document the program is built from, or one of its numbered sections: code,
# comments and tests say why in this program's own words, and a section
# number in them goes stale and means nothing to a reader without the
# document.
#   check_document_mentions.sh SOURCE-ROOT
# Whole words, case ignored, so identifiers that merely contain the word
# stay allowed.
# The patterns are put together from pieces, so this file does not match
# itself. Before the real tree, it checks planted offenders, so a pattern
# that has stopped matching cannot pass unnoticed.
set -eu

root=$1
word="sp""ec"
Word="Sp""ec"
WORD="SP""EC"
section='[Pp]art [0-9]+\.[0-9]+'
pattern="${word}ifications?|the ${word}|${section}"

# "file:line: text" for every mention in the given trees (binary files skipped).
offenders() {
    for dir in "$@"; do
        [ -d "$dir" ] && grep -rnIiwE "$pattern" "$dir" || true
    done
}

planted=$(mktemp -d)
trap 'rm -rf "$planted"' EXIT
for line in "// as ${word}ified in Part 3"".1" "see Part 5"".1." "# see part 12"".04 for the rules" \
    "/* The ${word} says so */" "// ${WORD}IFICATION: kinds" "the ${word}ifications list it" \
    "x = 1;  // (the ${word})"; do
    printf '%s\n' "$line" >"$planted/planted.cpp"
    if [ -z "$(offenders "$planted")" ]; then
        echo "the check missed a planted offender: $line" >&2
        exit 2
    fi
done
printf '%s\n' "struct Group${Word} {};" "const ${Word}& ${word} = ${word}s[0];" \
    "// the ${word}s of a group" "// in${word}tion, ${word}trum, re${word}ify" \
    '// Part 3 of the plan, part 2 of 3' 'ThePart 1''.2x' \
    >"$planted/planted.cpp"
if [ -n "$(offenders "$planted")" ]; then
    echo "the check rejects words that only contain the pattern:" >&2
    offenders "$planted" >&2
    exit 2
fi

bad=$(offenders "$root/src" "$root/tests" "$root/bench" "$root/scripts")
if [ -n "$bad" ]; then
    printf 'a file names the design document or one of its sections:\n%s\n' "$bad"
    exit 1
fi
echo "no file under src, tests, bench or scripts names the design document or its sections"

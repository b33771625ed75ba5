#!/bin/sh
# Fails when a window style, extended style, layout flag or event code is
# written as a number in the program's windows (src/app) or the toolkit
# (src/toolkit) instead of by its name: the names live in one header each
# (layout flags and styles in toolkit/window.h, event codes in
# toolkit/container.h), and a number written beside them has to be decoded
# by every reader and drifts when a name's value changes.
#   check_named_literals.sh SOURCE-DIR
# What counts as an offence, after comments and string contents are cut:
#   - a constant, variable or field whose name holds Style or Layout (font
#     styles aside) given a hex literal, a lone number, or a number joined
#     with | & ^ ~;
#   - the same kind of number as the style or extended-style argument of
#     CreateWindowExW, CreateToolkitWindow, CreateStandardControl,
#     SetWindowLong(Ptr)W with GWL_STYLE/GWL_EXSTYLE and
#     LVM_SETEXTENDEDLISTVIEWSTYLE;
#   - a negative number as an event code: `case -N:`, a comparison with a
#     name holding "code", a name holding Event or Code set to a list or
#     value with a negative number, the code argument of PostEvent.
# Before the real tree, it checks planted offenders, so a pattern that has
# stopped matching cannot pass unnoticed.
set -eu

src=$1

# "file:line: text" for every offence in the .h/.cpp files under $1/app and
# $1/toolkit, the two naming headers excepted.
offenders() {
    for dir in "$1/app" "$1/toolkit"; do
        [ -d "$dir" ] || continue
        find "$dir" -type f \( -name '*.h' -o -name '*.cpp' \)
    done | while IFS= read -r file; do
        case $file in
            "$1/toolkit/window.h" | "$1/toolkit/container.h") continue ;;
        esac
        awk -v file="$file" -f "$scanner" "$file"
    done
}

scanner=$(mktemp)
planted=$(mktemp -d)
trap 'rm -rf "$planted" "$scanner"' EXIT
cat >"$scanner" <<'AWK'
# A number that reads as a flag value: any hex literal, a number standing
# alone, or a number next to a bit operator. `n > 3 ? a : b` and 0 pass.
function flagnumber(x,    y) {
    y = x
    if (y ~ /(^|[^A-Za-z0-9_])0[xX][0-9A-Fa-f]+/)
        return 1
    gsub(/[A-Za-z_][A-Za-z0-9_]*/, "I", y)
    gsub(/[ \t]+/, "", y)
    gsub(/^\(+|\)+$/, "", y)
    if (y ~ /^-?0*[1-9][0-9]*[uUlL]*$/)
        return 1
    if (y ~ /[|&^~]\(*-?0*[1-9][0-9]*/ || y ~ /0*[1-9][0-9]*[uUlL]*\)*[|&^]/)
        return 1
    return 0
}
function negative(x) {
    return x ~ /(^|[^A-Za-z0-9_)\]])-[ \t]*[0-9]/
}
function report(text) {
    sub(/^[ \t]+/, "", text)
    print file ":" start ": " text
}
# The arguments of the first call of `name` in s, into args[1..n]; returns n.
function callargs(s, name,    at, i, c, depth, n, cur) {
    at = match(s, "(^|[^A-Za-z0-9_])" name "[ \t]*\\(")
    if (at == 0)
        return 0
    i = at + RLENGTH
    depth = 0
    n = 0
    cur = ""
    for (; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "(" || c == "[" || c == "{")
            depth++
        else if (c == ")" || c == "]" || c == "}") {
            if (depth == 0) {
                args[++n] = cur
                return n
            }
            depth--
        } else if (c == "," && depth == 0) {
            args[++n] = cur
            cur = ""
            continue
        }
        cur = cur c
    }
    args[++n] = cur
    return n
}
function checkargs(s, name, first, second,    n) {
    n = callargs(s, name)
    if ((first <= n && flagnumber(args[first])) || (second <= n && flagnumber(args[second])))
        report(s)
}
function statement(s,    rhs, n) {
    # Named constants and fields.
    if (match(s, /[A-Za-z0-9_]*([Ss]tyle|[Ll]ayout)[A-Za-z0-9_]*[ \t]*(=[^=]|\{)/)) {
        rhs = substr(s, RSTART + RLENGTH - 1)
        # A designated field (`{.rect = r, .layout = 1074}`) ends at the
        # next field or brace.
        if (RSTART > 1 && substr(s, RSTART - 1, 1) == ".")
            sub(/[,}].*$/, "", rhs)
        if (substr(s, RSTART, RLENGTH) !~ /[Ff]ont/ && flagnumber(rhs))
            report(s)
    }
    checkargs(s, "CreateWindowExW", 1, 4)
    checkargs(s, "CreateToolkitWindow", 8, 9)
    checkargs(s, "CreateStandardControl", 5, 6)
    if (s ~ /GWL_(EX)?STYLE/) {
        checkargs(s, "SetWindowLongW", 3, 3)
        checkargs(s, "SetWindowLongPtrW", 3, 3)
    }
    if (s ~ /LVM_SETEXTENDEDLISTVIEWSTYLE/)
        checkargs(s, "SendMessageW", 3, 4)
    # Event codes.
    if (s ~ /(^|[^A-Za-z0-9_])case[ \t]+\(?-[ \t]*[0-9]/ ||
        s ~ /[Cc]ode[A-Za-z0-9_]*[ \t]*(==|!=|<=|>=|<|>)[ \t]*\(?-[ \t]*[0-9]/ ||
        s ~ /-[ \t]*[0-9]+[ \t]*(==|!=|<=|>=|<|>)[ \t]*[A-Za-z0-9_.>()-]*[Cc]ode/)
        report(s)
    else if (match(s, /[A-Za-z0-9_]*(Event|Code)[A-Za-z0-9_]*[ \t]*(=[^=]|\{)/) &&
             negative(substr(s, RSTART + RLENGTH - 1)))
        report(s)
    else {
        n = callargs(s, "PostEvent")
        if (n >= 2 && negative(args[2]))
            report(s)
    }
}
{
    line = $0
    gsub(/"([^"\\]|\\.)*"/, "\"\"", line)
    gsub(/'([^'\\]|\\.)*'/, "' '", line)
    gsub(/\/\*([^*]|\*[^\/])*\*\//, " ", line)
    sub(/\/\/.*$/, "", line)
    if (line ~ /^[ \t]*#/)
        next
    if (buffer == "")
        start = NR
    # A statement ends at ; { or }, so a function's head or a block's end
    # does not run into the next statement; a braced list (`k{-1, -3}`)
    # is kept whole by ending only at ; once it has begun.
    while ((end = index(line, ";")) > 0) {
        statement(buffer " " substr(line, 1, end - 1))
        buffer = ""
        start = NR
        line = substr(line, end + 1)
    }
    if (line ~ /[{}][ \t]*$/ && line !~ /[=,][ \t]*\{[^}]*$/ && buffer line !~ /[A-Za-z0-9_>][ \t]*\{[^}]*$/) {
        statement(buffer " " line)
        buffer = ""
        next
    }
    if (line ~ /[^ \t]/)
        buffer = buffer " " line
}
END {
    if (buffer != "")
        statement(buffer)
}
AWK

plant() {
    rm -rf "$planted"/*
    mkdir -p "$planted/app" "$planted/toolkit"
    printf '// planted\n%s\n' "$1" >"$planted/$2"
}

for line in 'constexpr int32_t kPaneLayout = 0x432;' 'constexpr DWORD kStyle = 0x00CA0000;' \
    'constexpr DWORD kListStyle = WS_CHILD | 0x0081000D;' 'CreateLabel(r, t, {.rect = {10, 10, 50, 20}, .layout = 1074, .groupStart = true});' \
    'control.layoutFlags = layout::kLeft | 0x400;' 'const DWORD style = 13238272;' \
    'HWND h = CreateWindowExW(0x10, L"X", nullptr, WS_CHILD, 0, 0, 1, 1, p, nullptr, i, nullptr);' \
    'CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr,
        0x80000003, 0, 0, 0, 0, o, nullptr, i, nullptr);' \
    'CreateToolkitWindow(r, L"c", L"t", 10, 20, kCentred, kCentred, 0x00CA0000, 0, owner);' \
    'CreateToolkitWindow(r, L"c", L"t", 10, 20, kCentred, kCentred, kStyle, -1, owner);' \
    'const int32_t slot = CreateStandardControl(record, ControlKind::kLabel, L"Static", text,
                                             WS_CHILD | 0x100, 0, 20, y, w, h);' \
    'SetWindowLongW(window, GWL_STYLE, 0x50000000);' \
    'SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0x10024, 0x10024);' \
    'constexpr std::array<int32_t, 3> kPassiveTipEvents{0, -1,
                                                    -3};' \
    'if (code == -6)' 'if (events->code != -300) return;' 'if (-4 == events.code) {' \
    'switch (events.code) { case -17: break; }' 'PostEvent(record, -4, 0, nullptr, 0, 0);' \
    'constexpr int32_t kCloseCode = -6;'; do
    for where in app/planted.cpp toolkit/planted.h; do
        plant "$line" "$where"
        if [ -z "$(offenders "$planted")" ]; then
            echo "the check missed a planted offender in $where: $line" >&2
            exit 2
        fi
    done
done
# A number in the naming headers is their business; the same file name
# elsewhere is not.
plant 'constexpr int32_t kPaneLayout = 0x432;' toolkit/window.h
if [ -n "$(offenders "$planted")" ]; then
    echo "the check rejects numbers in the header that names them" >&2
    exit 2
fi
plant 'constexpr int32_t kPaneLayout = 0x432;' app/window.h
if [ -z "$(offenders "$planted")" ]; then
    echo "the check excuses a header only by its base name" >&2
    exit 2
fi
plant '// kStyle = 0x00CA0000 was the old spelling
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kSizeGripStyle = WS_CHILD | WS_VISIBLE | SBS_SIZEGRIP;
const DWORD style = kStyle | (n > 3 ? WS_VSCROLL : 0);
CreateLabel(r, t, {.rect = {10, 10, 50, 20}, .layout = 0, .font = {.points = 9.0, .weight = 800}});
CreateList(r, t, {.rect = {0, 0, 300, 200}, .layout = layout::kFillsWindow});
control.layoutFlags = layout::kFillsWindow;
look.caption = 0xFF000000;
const wchar_t* kStyleText = L"style 0x10";
CreateFontW(h, 0, 0, 0, weight, (record.fontStyle & 0x2) != 0, 0, 0);
HWND h = CreateWindowExW(0, L"X", nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 1, 1, o, nullptr, i, nullptr);
CreateToolkitWindow(r, L"c", L"t", 630, n == 2 ? 290 : 440, kCentred, kCentred, style, kDefaultExStyle, o);
CreateStandardControl(record, ControlKind::kLabel, L"Static", text, style::kLabel, 0, 20, -1, 300, 40);
if (slot == -1)
    return;
if (events.code == event::kClose || events.code > 0 || events.code == 0) {
    DrawTextW(dc, text, -1, &bounds, DT_LEFT);
}
PostEvent(record, event::kSizeChanged, WM_SIZE, nullptr, -1, 0);
constexpr std::array<int32_t, 2> kPassiveTipEvents{event::kNone, event::kWheel};
int32_t eventCount = 0;' app/ok.cpp
if [ -n "$(offenders "$planted")" ]; then
    echo "the check rejects named values:" >&2
    offenders "$planted" >&2
    exit 2
fi

bad=$(offenders "$src")
if [ -n "$bad" ]; then
    printf 'a style, layout flag or event code is written as a number, not by its name:\n%s\n' "$bad"
    exit 1
fi
echo "every style, layout flag and event code under $src/app and $src/toolkit is named"

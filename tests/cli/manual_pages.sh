#!/usr/bin/env bash
# The manual pages and --version against the programs themselves: every option --help shows is
# in the page made at build time, the page formats without warnings, and --version names the
# libraries (and, for the window only, Qt).
set -euo pipefail
cli=$1 gui=$2 man_dir=$3
fail() { echo "manual_pages: $*" >&2; exit 1; }

for program in "$cli" "$gui"; do
    name=$(basename "$program")
    page="$man_dir/$name.1"
    [ -s "$page" ] || fail "$page was not made"
    # Every long option of --help (and of each subcommand's) is in the page; roff writes "-" as "\-".
    help=$("$program" --help)
    for command in $(printf '%s\n' "$help" | awk '/^Subcommands:/{s=1;next} s&&/^  [a-z]/{print $1}'); do
        help+=$'\n'$("$program" "$command" --help)
    done
    for option in $(printf '%s\n' "$help" | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
        grep -qF -- "$(printf '%s' "$option" | sed 's/-/\\-/g')" "$page" || fail "$name: $option missing from $page"
    done
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "$name: man warns: $warnings"
    version=$("$program" --version)
    printf '%s\n' "$version" | grep -q "^$name [0-9]" || fail "$name --version: $version"
    printf '%s\n' "$version" | grep -q "unixODBC [0-9]" || fail "$name --version names no unixODBC"
    printf '%s\n' "$version" | grep -q "Connector/ODBC" || fail "$name --version names no Connector/ODBC"
done
"$cli" --version | grep -q "^Qt: none" || fail "the command line claims a Qt"
"$gui" --version | grep -q "^Qt 6" || fail "the window names no Qt 6"
grep -q 'EXIT STATUS' "$man_dir/zarafa-repair.1" || fail "no exit status in zarafa-repair(1)"
grep -qF 'Ctrl\-C' "$man_dir/zarafa-repair.1" || fail "the Ctrl-C exit status is missing from zarafa-repair(1)"
grep -q '^  1  stopped by the user: Ctrl-C' <<<"$("$cli" --help)" || fail "--help names no Ctrl-C exit status"
grep -q 'AllowPlainHttp' "$man_dir/zarafa-repair.1" || fail "settings keys missing"
# A bad option is a usage error (2), said on stderr.
set +e
"$cli" --no-such-option >/dev/null 2>/tmp/manual_pages.$$; code=$?
set -e
[ "$code" -eq 2 ] || fail "a bad option exits $code, not 2"
grep -q '^zarafa-repair: ' /tmp/manual_pages.$$ || fail "the error does not start with the program's name"
rm -f /tmp/manual_pages.$$
echo "manual pages: 1 passed, 0 failed"

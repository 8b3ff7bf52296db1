#!/usr/bin/env bash
# Builds the .deb from an existing build folder and checks it as a Debian user would meet it:
# its dependencies, the files it puts in place, the installed programs running without the build
# folder, an install and removal with dpkg into a scratch root, and lintian.
#
#   scripts/check-package.sh [BUILD_FOLDER]    (default build/ci; the build must be done)
#
# Nothing is installed on this machine: every step works in a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
fail() { echo "check-package: $*" >&2; exit 1; }

[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build folder"
[ -x "$build/src/cli/zarafa-repair" ] || fail "$build holds no zarafa-repair: build it first"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/check-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# The package is made from the build as it stands: cpack installs it into its own staging folder
# and strips the programs there, so the build folder's own binaries keep their symbols.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
debs=("$scratch"/out/zarafa-repair_*_amd64.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single zarafa-repair_<version>_amd64.deb made"
deb=${debs[0]}
echo "check-package: made $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

# Depends: what the tool runs and loads by name, and the Qt libraries the window links.
depends=$(dpkg-deb --field "$deb" Depends)
depends_list=$(tr ',' '\n' <<<"$depends")
for needed in mariadb-server mariadb-client odbc-mariadb unixodbc libqt6core6 libqt6widgets6 \
    qt6-qpa-plugins; do
    grep -qE "^ *$needed( |$)" <<<"$depends_list" \
        || fail "Depends lacks $needed: $depends"
done
description=$(dpkg-deb --field "$deb" Description)
! grep -q '^ *;' <<<"$description" || fail "the description carries CMake list separators: $description"
[ "$(dpkg-deb --field "$deb" Architecture)" = amd64 ] || fail "not an amd64 package"
dpkg-deb --info "$deb" >/dev/null || fail "dpkg-deb cannot read the control part"

# The files, unpacked as dpkg would put them.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
for file in usr/bin/zarafa-repair usr/bin/zarafa-repair-gui \
    usr/share/man/man1/zarafa-repair.1.gz usr/share/man/man1/zarafa-repair-gui.1.gz \
    usr/share/applications/zarafa-repair-gui.desktop \
    usr/share/icons/hicolor/scalable/apps/zarafa-repair.svg \
    usr/share/bash-completion/completions/zarafa-repair \
    usr/share/bash-completion/completions/zarafa-repair-gui \
    usr/share/doc/zarafa-repair/README.md usr/share/doc/zarafa-repair/help.html \
    usr/share/doc/zarafa-repair/copyright \
    usr/share/doc/zarafa-repair/changelog.gz; do
    [ -s "$root/$file" ] || fail "the package does not install /$file"
done
for program in zarafa-repair zarafa-repair-gui; do
    [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
    # Only system libraries, found without LD_LIBRARY_PATH or a path into the build folder.
    libraries=$(env -u LD_LIBRARY_PATH ldd "$root/usr/bin/$program")
    ! grep -q 'not found' <<<"$libraries" || fail "$program: $(grep 'not found' <<<"$libraries")"
    ! grep -qF "$(pwd)" <<<"$libraries" || fail "$program loads libraries from the build tree"
    dynamic=$(readelf -d "$root/usr/bin/$program")
    ! grep -qE 'RPATH|RUNPATH' <<<"$dynamic" || fail "$program keeps a run path"
    sections=$(readelf -S "$root/usr/bin/$program")
    ! grep -q '\.debug_info' <<<"$sections" || fail "$program is not stripped"
done
for page in zarafa-repair zarafa-repair-gui; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "$page.1.gz: man warns: $warnings"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/zarafa-repair-gui.desktop" \
        || fail "the desktop entry does not validate"
fi
bash -n "$root/usr/share/bash-completion/completions/zarafa-repair" || fail "the completion is not valid bash"

# The installed programs themselves.
help=$(env -u LD_LIBRARY_PATH "$root/usr/bin/zarafa-repair" --help) || fail "installed zarafa-repair --help fails"
grep -q -- '--folder' <<<"$help" || fail "installed --help shows no --folder"
grep -q 'Ctrl-C' <<<"$help" || fail "installed --help names no Ctrl-C exit status"
version=$(env -u LD_LIBRARY_PATH "$root/usr/bin/zarafa-repair" --version) || fail "installed zarafa-repair --version fails"
grep -q "^zarafa-repair $(dpkg-deb --field "$deb" Version | cut -d- -f1)" <<<"$version" \
    || fail "installed --version does not name the package's version: $version"
# The stripped program still reads a table definition written by a real MySQL server.
frm=$(pwd)/../shared/fixtures/mysql-5.0-sakila/sakila/category.frm
if [ -f "$frm" ]; then
    created=$(env -u LD_LIBRARY_PATH "$root/usr/bin/zarafa-repair" describe "$frm" --sql) \
        || fail "installed zarafa-repair describe fails on $frm"
    grep -q '^create table `category` (`category_id` tinyint(3) unsigned NOT NULL' <<<"$created" \
        || fail "installed zarafa-repair describes $frm as: $created"
fi
gui_version=$(QT_QPA_PLATFORM=offscreen env -u LD_LIBRARY_PATH "$root/usr/bin/zarafa-repair-gui" --version) \
    || fail "installed zarafa-repair-gui --version fails"
grep -q '^Qt 6' <<<"$gui_version" || fail "installed zarafa-repair-gui --version names no Qt 6"

# dpkg itself, into a root of its own: an empty dpkg database, so the dependencies (installed or
# not on this machine) are not looked at. The maintainer scripts run without a chroot, as the
# scratch root has no shell; they take the root from DPKG_ROOT and register the ODBC driver name
# in the scratch root's /etc/odbcinst.ini, never in this machine's.
dpkg_root=$scratch/dpkg-root
mkdir -p "$dpkg_root/var/lib/dpkg/info" "$dpkg_root/var/lib/dpkg/updates" "$dpkg_root/etc"
touch "$dpkg_root/var/lib/dpkg/status" "$dpkg_root/var/lib/dpkg/available"
driver=usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so
mkdir -p "$dpkg_root/$(dirname "$driver")"
: > "$dpkg_root/$driver" # the postinst registers the library by its path; it is not loaded
dpkg_scratch=(dpkg --root="$dpkg_root" --force-depends --force-script-chrootless --force-not-root
    --log=/dev/null)
odbc_scratch() { ODBCSYSINI="$dpkg_root/etc" odbcinst "$@"; }
"${dpkg_scratch[@]}" -i "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; fail "dpkg -i failed"; }
[ -x "$dpkg_root/usr/bin/zarafa-repair" ] || fail "dpkg -i put no /usr/bin/zarafa-repair in place"
status=$("${dpkg_scratch[@]}" -s zarafa-repair 2>/dev/null || true)
grep -q '^Status: install ok installed' <<<"$status" \
    || fail "dpkg does not count the package as installed"
registered=$(odbc_scratch -q -d -n "MySQL ODBC 5.1 Driver" 2>/dev/null || true)
grep -qx "Driver=/$driver" <<<"$registered" \
    || fail "the postinst did not register the ODBC driver name: $(cat "$dpkg_root/etc/odbcinst.ini" 2>&1)"
"${dpkg_scratch[@]}" -r zarafa-repair >>"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; fail "dpkg -r failed"; }
[ ! -e "$dpkg_root/usr/bin/zarafa-repair" ] || fail "dpkg -r left /usr/bin/zarafa-repair behind"
! grep -qF "MySQL ODBC 5.1 Driver" "$dpkg_root/etc/odbcinst.ini" \
    || fail "dpkg -r left the ODBC driver name registered"
"${dpkg_scratch[@]}" --purge zarafa-repair >>"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; fail "dpkg --purge failed"; }

# lintian: its errors fail the check, its warnings are shown.
if command -v lintian >/dev/null; then
    lintian_status=0
    lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 \
        || lintian_status=$?
    grep -E '^[EW]: ' "$scratch/lintian.log" || true
    [ "$lintian_status" -ne 1 ] || { cat "$scratch/lintian.log" >&2; fail "lintian did not run"; }
    [ "$lintian_status" -eq 0 ] && ! grep -q '^E: ' "$scratch/lintian.log" || fail "lintian reports errors"
else
    echo "check-package: lintian is not installed (scripts/install-deps.sh installs it); skipped"
fi
echo "check-package: $(basename "$deb") passed"

#!/usr/bin/env bash
# Installs every Debian package the build, the tool and the tests need, and registers the ODBC
# driver name the tool connects with. Idempotent: when everything is present it only checks.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
    libsodium-dev libfmt-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    unixodbc unixodbc-dev odbc-mariadb
    zlib1g-dev liblz4-dev liblzo2-dev liblzma-dev libbz2-dev libsnappy-dev
    mariadb-server mariadb-client
    # MariaDB's page compression algorithms besides zlib, for the generated test folders.
    mariadb-plugin-provider-lz4 mariadb-plugin-provider-lzo mariadb-plugin-provider-lzma
    mariadb-plugin-provider-bzip2 mariadb-plugin-provider-snappy
    clang libclang-rt-14-dev
    python3
    # The package check: lintian, and the validator of the desktop entry.
    lintian desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: missing packages: ${missing[*]}; run as root or install them" >&2
        exit 1
    fi
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # The distribution's own MariaDB service must not start: the tool and the tests run
    # private servers, and a system server would be a production server to them.
    policy=/usr/sbin/policy-rc.d
    created_policy=0
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' > "$policy"
        chmod 755 "$policy"
        created_policy=1
    fi
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
    if [ "$created_policy" -eq 1 ]; then rm -f "$policy"; fi
fi

# The tool connects with the driver name "MySQL ODBC 5.1 Driver"; MariaDB Connector/ODBC serves it.
register_driver() {
    local lib
    lib=$(find /usr/lib -name 'libmaodbc.so' 2>/dev/null | head -n 1)
    if [ -z "$lib" ]; then
        echo "install-deps: MariaDB Connector/ODBC library not found" >&2
        return 1
    fi
    if ! odbcinst -q -d -n "MySQL ODBC 5.1 Driver" >/dev/null 2>&1; then
        local tmp
        tmp=$(mktemp)
        printf '[MySQL ODBC 5.1 Driver]\nDescription=MariaDB Connector/ODBC under the name the repair tool uses\nDriver=%s\nSetup=%s\nUsageCount=1\n' \
            "$lib" "$lib" > "$tmp"
        if [ "$(id -u)" -eq 0 ]; then
            odbcinst -i -d -f "$tmp" >/dev/null
        else
            echo "install-deps: run as root once to register the ODBC driver" >&2
        fi
        rm -f "$tmp"
    fi
}
register_driver
echo "install-deps: all set"

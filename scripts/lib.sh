# SPDX-License-Identifier: MIT
# Shared by scripts/run and scripts/test: install what is missing, configure and build.
set -euo pipefail

WIREPACE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# smbnetfs and fuse3 map share paths (//server/share) for a run without root.
WIREPACE_PACKAGES=(cmake g++ ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev
                   libcli11-dev nlohmann-json3-dev clang-format-14 smbnetfs fuse3
                   fonts-liberation2)
# What the tests need beside them: for the share test a Samba server in a network namespace
# and nss_wrapper for its user that exists nowhere else; node_exporter, which the metrics test
# reads the metrics through, and systemd-analyze for the scheduled-run units; for the report
# tests Python and a browser that renders the HTML report headless (Chromium); libfuse3 for
# the test file system that stands in for a file server that stops answering.
WIREPACE_TEST_PACKAGES=(samba libnss-wrapper iproute2 prometheus-node-exporter systemd python3
                        chromium libfuse3-dev)

# Installs the Debian packages that are not installed yet (needs root for apt-get).
install_missing() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
}

# build_tree DIR [cmake options...]: configures (once) and builds everything in DIR.
build_tree() {
    local dir="$1"
    shift
    cmake -S "$WIREPACE_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

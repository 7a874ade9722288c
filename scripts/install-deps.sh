#!/bin/bash
# Installs the Debian packages both builds and all tests need (run as root).
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
    cmake make g++ clang clang-format libclang-rt-14-dev python3 shellcheck
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    zlib1g-dev libstb-dev libboost-dev libpugixml-dev
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev
    wine wine32:i386 wine64
    xvfb xdotool imagemagick fonts-wqy-microhei
    tftpd-hpa tftp-hpa iproute2 iptables libnetfilter-queue-dev
    busybox erlang-base erlang-tftp
)

# atftpd conflicts with tftpd-hpa (both ship in.tftpd): the TFTP peer tests
# unpack its package instead of installing it. It is fetched into apt's
# package cache here, so that the tests need no network.
atftpd_cached() { compgen -G '/var/cache/apt/archives/atftpd_*.deb' >/dev/null; }
fetch_atftpd() {
    (cd /var/cache/apt/archives && apt-get download atftpd >/dev/null 2>&1) ||
        { apt-get update -q && (cd /var/cache/apt/archives && apt-get download atftpd); }
}

missing=()
for p in "${packages[@]}"; do
    [ -n "$p" ] || continue
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    atftpd_cached || fetch_atftpd
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
atftpd_cached || fetch_atftpd

# tftpd-hpa starts a system service on port 69; the tests run their own
# server on loopback ports of their choosing, so the service is not needed.
if command -v systemctl >/dev/null 2>&1; then
    systemctl disable --now tftpd-hpa >/dev/null 2>&1 || true
fi

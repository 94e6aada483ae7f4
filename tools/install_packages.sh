#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, and only
# those that are missing; the package lists are refreshed only when an
# install is really needed.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config qt6-base-dev libcurl4-openssl-dev libicu-dev
  googletest libgtest-dev libbenchmark-dev
  # the program's SVG icon (Qt's SVG plugins)
  libqt6svg6
  # fuzzing (libFuzzer) and the sanitizer build
  clang libclang-rt-14-dev
  # test peers
  nginx lhasa p7zip-full jlha-utils python3-aiosmtpd dovecot-pop3d lighttpd lighttpd-mod-openssl libcgi-pm-perl
  chromium tidy xvfb xauth x11-utils openbox fonts-ipafont-gothic ca-certificates curl openssl desktop-file-utils
  # benchmarks (fsync counting; instruction counts of the page writer)
  strace valgrind
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

# Node.js brings npm; a machine may already have its own build of both.
if ! command -v npm >/dev/null 2>&1; then missing+=(nodejs npm); fi

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
# Services must not start on their own: the tests start private instances.
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

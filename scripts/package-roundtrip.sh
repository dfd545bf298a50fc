#!/usr/bin/env bash
# Installs the package with apt-get as a user would, runs the programs from
# /usr/bin, and removes the package again. Changes the system: run it by hand
# (as root or through sudo), not in CI.
#   scripts/package-roundtrip.sh [PACKAGE.deb]   (default: build with scripts/package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
deb="${1:-$(scripts/package.sh | tail -n 1)}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
apt=($SUDO env DEBIAN_FRONTEND=noninteractive apt-get -y -q)

"${apt[@]}" install "$(realpath "$deb")"
dpkg -s tunedesk | grep -E '^(Status|Version):'
home="$(mktemp -d)"
run=(env -i PATH=/usr/bin:/bin HOME="$home")
"${run[@]}" /usr/bin/tunedesk --version
if [ -x /usr/bin/tunedesk-cli ]; then
  "${run[@]}" /usr/bin/tunedesk-cli --backend sim get
  "${run[@]}" /usr/bin/tunedesk-cli paths
fi
"${run[@]}" /usr/bin/tunedesk 2>&1 || true   # no display here: one line, exit 0
rm -rf "$home"

"${apt[@]}" remove tunedesk
echo "after remove: $(dpkg-query -W -f='${Status}' tunedesk 2>/dev/null || echo not-installed)"
for f in /usr/bin/tunedesk /usr/lib/tunedesk /usr/share/tunedesk /usr/lib/udev/rules.d/70-tunedesk-ch347.rules; do
  [ ! -e "$f" ] || { echo "package-roundtrip: $f is still there"; exit 1; }
done
# Nothing is kept as configuration: purge clears dpkg's record too.
$SUDO dpkg --purge tunedesk >/dev/null
echo "package-roundtrip: installed, ran and removed cleanly"

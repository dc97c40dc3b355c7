#!/usr/bin/env bash
# Builds the Debian package from build/, unpacks it into a temporary root
# (dpkg-deb -x: nothing on the machine changes) and runs the unpacked
# programs from there: kdctl --help, kdctl --port SIM version, and a
# screenshot of kdtrelva on the simulated sensor.
set -euo pipefail
cd "$(dirname "$0")/.."
(cd build && cpack -G DEB >/dev/null)
deb="$(ls -t build/kdtrelva_*.deb | head -1)"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Depends | sed 's/^/  /'
desktop-file-validate "$root/usr/share/applications/kdtrelva.desktop"
for f in usr/bin/kdtrelva usr/bin/kdctl usr/bin/kdsim usr/share/man/man1/kdctl.1.gz \
         usr/share/icons/hicolor/48x48/apps/kdtrelva.png usr/share/doc/kdtrelva/copyright \
         usr/share/bash-completion/completions/kdctl; do
  [ -e "$root/$f" ] || { echo "missing in the package: $f"; exit 1; }
done
"$root/usr/bin/kdctl" --help >/dev/null
"$root/usr/bin/kdctl" --port SIM version
"$root/usr/bin/kdsim" --version
shot="$root/shot.png"
QT_QPA_PLATFORM=offscreen timeout 60 "$root/usr/bin/kdtrelva" -port SIM -connect \
  -screenshot "$shot" -wait 1000
[ -s "$shot" ] || { echo "kdtrelva wrote no screenshot"; exit 1; }
echo "package check passed"

#!/usr/bin/env bash
# Builds the Debian package from build/, unpacks it into a temporary root
# (dpkg-deb -x: nothing on the machine changes) and runs the unpacked
# programs from there, checking what they print: kdctl --help lists the
# commands, kdctl --port SIM version prints the sensor version, and kdtrelva
# connects to its simulated sensor and saves a picture of a drawn window.
set -euo pipefail
cd "$(dirname "$0")/.."
(cd build && cpack -G DEB >/dev/null)
deb="$(ls -t build/kdtrelva_*.deb | head -1)"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Depends | sed 's/^/  /'
fail() { echo "package check FAILED: $*"; exit 1; }

# The description: the summary once, then the long text indented by one blank.
desc="$(dpkg-deb -f "$deb" Description)"
summary="$(head -1 <<<"$desc")"
[ -n "$summary" ] || fail "no summary line"
tail -n +2 <<<"$desc" | grep -qvx " .*" && fail "description lines not indented by one blank"
tail -n +2 <<<"$desc" | grep -qx "  .*" && fail "description lines indented by more than one blank"
tail -n +2 <<<"$desc" | grep -qF "$summary" && fail "the summary is repeated in the description"

desktop-file-validate "$root/usr/share/applications/kdtrelva.desktop"
for f in usr/bin/kdtrelva usr/bin/kdctl usr/bin/kdsim \
         usr/share/man/man1/kdtrelva.1.gz usr/share/man/man1/kdctl.1.gz \
         usr/share/man/man1/kdsim.1.gz usr/share/mime/packages/kdtrelva.xml \
         usr/share/icons/hicolor/48x48/apps/kdtrelva.png \
         usr/share/icons/hicolor/scalable/apps/kdtrelva.svg usr/share/doc/kdtrelva/copyright \
         usr/share/bash-completion/completions/kdctl; do
  [ -e "$root/$f" ] || fail "missing in the package: $f"
done
# The manual pages carry the package's version.
version="$(dpkg-deb -f "$deb" Version)"
for page in kdtrelva kdctl kdsim; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | head -1 | grep -qF "KD Trelva $version" ||
    fail "$page.1 does not name version $version"
done

help="$("$root/usr/bin/kdctl" --help)"
for c in version receive send get set write-eeprom bank-copy watch profile dump convert \
         diff apply storage command memread; do
  grep -q "^  $c " <<<"$help" || fail "kdctl --help does not list '$c'"
done
v="$("$root/usr/bin/kdctl" --port SIM version)"
echo "  kdctl --port SIM version: $(head -1 <<<"$v")"
grep -Eq '^[0-9A-Fa-f]+:[0-9A-Fa-f]+:[0-9A-Fa-f]+' <<<"$v" || fail "kdctl version printed '$v'"
"$root/usr/bin/kdsim" --version | grep -qF "$version" || fail "kdsim --version"

# The window: connected (the built-in sensor's trace shows the replies of the
# whole receive) and drawn (the picture has more than a few colours).
shot="$root/shot.png"
trace="$root/sim.trace"
KDSIM_ARGS="--trace $trace" QT_QPA_PLATFORM=offscreen HOME="$root/home" \
  XDG_CONFIG_HOME="$root/home/.config" timeout 60 "$root/usr/bin/kdtrelva" -port SIM -connect \
  -screenshot "$shot" -wait 1000 || fail "kdtrelva exited with status $?"
replies="$(grep -c ' OUT ' "$trace" || true)"
[ "$replies" -ge 20 ] || fail "kdtrelva did not connect: $replies replies in the sensor's trace"
colours="$(python3 - "$shot" <<'PY'
# Counts the colours of an 8-bit RGB/RGBA PNG (what Qt writes), no library needed.
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
pos, idat = 8, b""
while pos < len(data):
    n, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + n]
    if kind == b"IHDR":
        w, h, depth, ctype = struct.unpack(">IIBB", body[:10])
    elif kind == b"IDAT":
        idat += body
    pos += 12 + n
assert depth == 8 and ctype in (2, 6), "unexpected PNG type"
bpp = 3 if ctype == 2 else 4
raw, stride, prev, colours = zlib.decompress(idat), w * bpp, bytearray(w * bpp), set()
for y in range(h):
    f, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = row[i - bpp] if i >= bpp else 0
        b, c = prev[i], prev[i - bpp] if i >= bpp else 0
        if f == 1: row[i] = (row[i] + a) & 255
        elif f == 2: row[i] = (row[i] + b) & 255
        elif f == 3: row[i] = (row[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    colours.update(bytes(row[i:i + 3]) for i in range(0, stride, bpp * 7))
    prev = row
print(len(colours))
PY
)"
echo "  kdtrelva: $replies replies, $colours colours in the picture"
[ "$colours" -ge 16 ] || fail "the screenshot is blank ($colours colours)"
echo "package check passed"

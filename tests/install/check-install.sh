#!/usr/bin/env bash
# Installs the build into a temporary root and checks what a desktop user
# would get: both programs with their manual pages, the menu entry, every
# icon size and the AppStream metadata.
set -euo pipefail
build=${1:?usage: check-install.sh BUILD_DIR}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
fail() { echo "FAIL: $*" >&2; exit 1; }

for program in rw7300-speedtable ${EXTRA_PROGRAMS:-}; do
  exe=$root/usr/bin/$program
  [[ -x $exe ]] || fail "$program not installed in bin/"
  out=$("$exe" --version) || fail "$program --version failed"
  [[ $out == *"1.02"* ]] || fail "$program --version printed '$out'"
  page=$root/usr/share/man/man1/$program.1.gz
  [[ -f $page ]] || fail "$program.1.gz not installed in man1/"
  gzip -t "$page" || fail "$program.1.gz is not gzip"
done
[[ -f $root/usr/share/metainfo/io.github.rw7300.speedtable.metainfo.xml ]] ||
  fail "AppStream metadata missing"

desktop=$root/usr/share/applications/rw7300-speedtable.desktop
[[ -f $desktop ]] || fail "desktop entry missing"
desktop-file-validate "$desktop" || fail "desktop entry invalid"
grep -qx 'Name=RW7300 SPEEDテーブル' "$desktop" || fail "desktop Name"
grep -q '^Comment\[ja\]=' "$desktop" || fail "Japanese comment"
grep -q '^Comment=' "$desktop" || fail "English comment"
grep -qx 'Categories=Science;Astronomy;' "$desktop" || fail "categories"

# A mount file is known by its suffix and opens with the tool.
mime=$root/usr/share/mime
[[ -f $mime/packages/rw7300-speedtable.xml ]] || fail "MIME type of mount files missing"
update-mime-database "$mime" || fail "MIME type not accepted by update-mime-database"
grep -qx 'application/x-rw7300-mount:\*\.rw7300mount' <(cut -d: -f2- "$mime/globs2") ||
  fail "*.rw7300mount not mapped to application/x-rw7300-mount"
grep -qx 'MimeType=application/x-rw7300-mount;' "$desktop" || fail "desktop MimeType"

icons=$root/usr/share/icons/hicolor
for size in 16 32 48; do
  png=$icons/${size}x${size}/apps/rw7300-speedtable.png
  [[ -f $png ]] || fail "icon ${size}x${size} missing"
  dims=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' "$png")
  [[ $dims == "$size $size" ]] || fail "icon $png is $dims"
done
[[ -f $icons/scalable/apps/rw7300-speedtable.svg ]] || fail "scalable icon missing"
[[ -f $root/usr/lib/udev/rules.d/70-rw7300-speedtable.rules ]] || fail "udev rule missing"
for doc in README.md LICENSE copyright changelog.gz; do
  [[ -f $root/usr/share/doc/rw7300-speedtable/$doc ]] || fail "$doc not under share/doc"
done
echo "install tree OK: $(cd "$root" && find . -type f | wc -l) files"

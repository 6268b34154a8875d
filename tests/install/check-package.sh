#!/usr/bin/env bash
# Builds the Debian package and checks its metadata and contents. In CI
# (CI=true, as root) it also installs the package, runs it from /usr/bin and
# removes it again, checking that nothing is left behind.
set -euo pipefail
build=${1:?usage: check-package.sh BUILD_DIR}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
arch=$(dpkg --print-architecture)
deb=$out/rw7300-speedtable_1.02_${arch}.deb
[[ -f $deb ]] || fail "expected $(basename "$deb"), got: $(ls "$out")"

info=$(dpkg-deb --info "$deb")
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for dep in fonts-ipafont-gothic libqt6widgets6 libqt6serialport6 libc6; do
  [[ $depends == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
done
grep -q '^ Version: 1.02$' <<<"$info" || fail "version"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for f in ./usr/bin/rw7300-speedtable ${EXTRA_PROGRAMS:+./usr/bin/$EXTRA_PROGRAMS} \
         ./usr/share/applications/rw7300-speedtable.desktop \
         ./usr/share/icons/hicolor/16x16/apps/rw7300-speedtable.png \
         ./usr/share/icons/hicolor/32x32/apps/rw7300-speedtable.png \
         ./usr/share/icons/hicolor/48x48/apps/rw7300-speedtable.png \
         ./usr/share/icons/hicolor/scalable/apps/rw7300-speedtable.svg \
         ./usr/share/doc/rw7300-speedtable/LICENSE; do
  grep -qx "$f" <<<"$contents" || fail "package lacks $f"
done
echo "package OK: $(basename "$deb"), Depends: $depends"

if [[ ${CI:-} != true || $(id -u) -ne 0 ]]; then
  echo "install/remove round trip runs in CI only (CI=true as root)"
  exit 0
fi
if dpkg -s rw7300-speedtable >/dev/null 2>&1; then
  fail "rw7300-speedtable is already installed on this machine"
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
json=$(cd / && /usr/bin/rw7300-speedtable --calculate --json)
[[ $json == *'"hex":"57A7"'* ]] || fail "installed program printed: ${json:0:200}"
installed=$(dpkg -L rw7300-speedtable | sort)
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq rw7300-speedtable >/dev/null
! dpkg -s rw7300-speedtable >/dev/null 2>&1 || fail "still installed after remove"
while read -r path; do
  [[ -f $path || -L $path ]] && fail "left behind: $path"
done <<<"$installed"
echo "installed, ran and removed cleanly"

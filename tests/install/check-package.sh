#!/usr/bin/env bash
# Builds the Debian package and checks its metadata and contents: lintian
# finds no error or warning, the programs are stripped, the manual pages
# render cleanly and name every option of --help, the copyright file carries
# LICENSE, and the AppStream metadata validates. In CI (CI=true, as root) it
# also installs the package, runs it from /usr/bin and removes it again,
# checking that nothing is left behind. A cross build's package (its
# architecture from the build's CPack settings) is checked the same way, its
# programs run under the emulator named in RW7300_EMULATOR, but never
# installed on this machine.
set -euo pipefail
build=${1:?usage: check-package.sh BUILD_DIR}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in lintian appstreamcli readelf man file; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run scripts/install-deps"
done

cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
arch=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=${arch:-$(dpkg --print-architecture)}
deb=$out/rw7300-speedtable_1.02_${arch}.deb
[[ -f $deb ]] || fail "expected $(basename "$deb"), got: $(ls "$out")"

info=$(dpkg-deb --info "$deb")
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for dep in fonts-ipafont-gothic libqt6widgets6 libqt6serialport6 libc6; do
  [[ $depends == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
done
grep -q '^ Version: 1.02$' <<<"$info" || fail "version"
# Qt's own dialogs are Japanese only with Qt's translations installed.
recommends=$(dpkg-deb -f "$deb" Recommends)
[[ ", $recommends," == *", qt6-translations-l10n"[,\ ]* ]] ||
  fail "Recommends lacks qt6-translations-l10n: $recommends"
[[ $(dpkg-deb -f "$deb" Architecture) == "$arch" ]] || fail "Architecture: $(dpkg-deb -f "$deb" Architecture)"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for f in ./usr/bin/rw7300-speedtable ${EXTRA_PROGRAMS:+./usr/bin/$EXTRA_PROGRAMS} \
         ./usr/share/applications/rw7300-speedtable.desktop \
         ./usr/share/icons/hicolor/16x16/apps/rw7300-speedtable.png \
         ./usr/share/icons/hicolor/32x32/apps/rw7300-speedtable.png \
         ./usr/share/icons/hicolor/48x48/apps/rw7300-speedtable.png \
         ./usr/share/icons/hicolor/scalable/apps/rw7300-speedtable.svg \
         ./usr/share/doc/rw7300-speedtable/LICENSE \
         ./usr/share/doc/rw7300-speedtable/copyright \
         ./usr/share/doc/rw7300-speedtable/changelog.gz \
         ./usr/share/man/man1/rw7300-speedtable.1.gz \
         ${EXTRA_PROGRAMS:+./usr/share/man/man1/$EXTRA_PROGRAMS.1.gz} \
         ./usr/share/mime/packages/rw7300-speedtable.xml \
         ./usr/lib/udev/rules.d/70-rw7300-speedtable.rules \
         ./usr/share/metainfo/io.github.rw7300.speedtable.metainfo.xml; do
  grep -qx "$f" <<<"$contents" || fail "package lacks $f"
done

# lintian's own temporary files stay in $out; no user configuration may
# suppress a tag.
if ! report=$(TMPDIR=$out lintian --no-cfg --fail-on error,warning "$deb" 2>&1); then
  fail "lintian: $report"
fi

root=$out/root
dpkg-deb -x "$deb" "$root"
# The udev rule gives the desktop's user the USB serial adapters: tagged
# for logind before 73-seat-late.rules applies the tag.
grep -qx 'SUBSYSTEM=="tty", ENV{ID_BUS}=="usb", TAG+="uaccess"' \
  "$root/usr/lib/udev/rules.d/70-rw7300-speedtable.rules" || fail "the udev rule lacks uaccess"
postinst=$(dpkg-deb -I "$deb" postinst) || fail "no postinst to apply the udev rule"
grep -q 'udevadm trigger' <<<"$postinst" || fail "postinst does not apply the udev rule"
for program in rw7300-speedtable ${EXTRA_PROGRAMS:-}; do
  exe=$root/usr/bin/$program
  case $arch in
    amd64) machine='x86-64' ;;
    arm64) machine='ARM aarch64' ;;
    *) machine='' ;;
  esac
  [[ $(file -b "$exe") == *"$machine"* ]] || fail "$program is not for $arch: $(file -b "$exe")"
  sections=$(readelf -S --wide "$exe") || fail "$program: readelf failed"
  grep -qE '\.(debug_[a-z]+|symtab) ' <<<"$sections" &&
    fail "$program is not stripped: $(grep -oE '\.(debug_[a-z]+|symtab) ' <<<"$sections" | tr -d '\n')"

  page=$root/usr/share/man/man1/$program.1.gz
  warnings=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) ||
    fail "man cannot read $program.1.gz: $warnings"
  [[ -z $warnings ]] || fail "$program.1.gz: $warnings"
  # The page is written from --help, so every option it lists must head an
  # entry of its own (the description names some of them too).
  rendered=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null)
  # shellcheck disable=SC2086 # the emulator's words
  help=$(HOME=$out LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen ${RW7300_EMULATOR:-} "$exe" --help) ||
    fail "$program --help failed"
  options=$(grep -oE '^  (-[a-z], )?--[a-z-]+' <<<"$help" | sed 's/.*--/--/')
  [[ -n $options ]] || fail "no options read from $program --help"
  for option in $options; do
    grep -qE -- "^ {7}(-[a-z], )?$option( |\$)" <<<"$rendered" || fail "$program.1.gz lacks $option"
  done
  grep -qF "$program 1.02" <<<"$rendered" || fail "$program.1.gz is not for 1.02"

  section() { awk -v h="$1" '$0 == h {on = 1; next} /^[^ ]/ {on = 0} on' <<<"$rendered"; }
  for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT EXAMPLES \
                 "SERIAL PORT PERMISSIONS"; do
    [[ -n $(section "$heading") ]] || fail "$program.1.gz has no $heading"
  done
  # Every form of the command line --help lists, in SYNOPSIS.
  synopsis=$(section SYNOPSIS | tr -s ' \n' '  ')
  # A long form goes on in lines indented further.
  forms=$(awk -v p="  $program" '
    $0 == p || index($0, p " ") == 1 { if (f != "") print f; f = substr($0, 3); next }
    f != "" && /^      / { sub(/^ +/, " "); f = f $0; next }
    { if (f != "") print f; f = "" }
    END { if (f != "") print f }' <<<"$help")
  [[ -n $forms ]] || fail "$program --help lists no forms"
  while read -r line; do
    [[ $synopsis == *"$line"* ]] || fail "$program.1.gz SYNOPSIS lacks: $line"
  done <<<"$forms"
  # Every exit status --help lists, with its meaning, in EXIT STATUS.
  statuses=$(section "EXIT STATUS" | tr -s ' \n' '  ')
  listed=$(awk '/^終了ステータス:$/ {on = 1; next} on && /^  [0-9]/ {print; next} {on = 0}' <<<"$help")
  [[ -n $listed ]] || fail "$program --help lists no exit status"
  while read -r line; do
    [[ $statuses == *"$(tr -s ' ' <<<"$line" | sed 's/^ //')"* ]] ||
      fail "$program.1.gz EXIT STATUS lacks: $line"
  done <<<"$listed"
  grep -q dialout <<<"$(section "SERIAL PORT PERMISSIONS")" ||
    fail "$program.1.gz does not name the dialout group"
done

# The main page's own sections: the files --help names, the variables the
# program reads, and the window's keys.
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$root/usr/share/man/man1/rw7300-speedtable.1.gz" 2>/dev/null)
files=$(section FILES)
for name in ports.conf mounts.conf Speed_Data.txt PARAM.DAT .rw7300mount; do
  [[ $files == *"$name"* ]] || fail "FILES lacks $name"
done
environment=$(section ENVIRONMENT)
for name in RW7300_COMn XDG_CONFIG_HOME XDG_DATA_HOME DISPLAY; do
  [[ $environment == *"$name"* ]] || fail "ENVIRONMENT lacks $name"
done
keys=$(section KEYS)
for key in F5 Ctrl+Return Ctrl+N Ctrl+O Ctrl+S; do
  grep -qE "^ {7}${key//+/\\+}( |\$)" <<<"$keys" || fail "KEYS lacks $key"
done

doc=$root/usr/share/doc/rw7300-speedtable
[[ $(zcat "$doc/changelog.gz" | head -1) == "rw7300-speedtable (1.02) "* ]] ||
  fail "changelog does not start with 1.02: $(zcat "$doc/changelog.gz" | head -1)"

# The copyright file is LICENSE in Debian's form: same holder, same text.
holder=$(sed -n 's/^Copyright (c) //p' "$source_dir/LICENSE")
grep -qx "Copyright: $holder" "$doc/copyright" || fail "copyright does not name '$holder'"
license_text=$(awk 'found && NF {body=1} body {print} /^Copyright /{found=1}' "$source_dir/LICENSE")
shipped_text=$(awk '/^License: /{n++; next} n==2 && /^ /{sub(/^ /,""); if ($0==".") $0=""; print}' \
  "$doc/copyright")
[[ $license_text == "$shipped_text" ]] || fail "copyright's licence text differs from LICENSE"

metainfo=$root/usr/share/metainfo/io.github.rw7300.speedtable.metainfo.xml
validation=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "AppStream: $validation"
grep -q '<release version="1.02"' "$metainfo" || fail "AppStream metainfo lacks release 1.02"
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[[ -f $root/usr/share/applications/$launchable ]] || fail "AppStream launchable '$launchable' not in the package"

echo "package OK: $(basename "$deb"), $(stat -c %s "$deb") bytes, lintian clean, Depends: $depends"

if [[ $arch != "$(dpkg --print-architecture)" ]]; then
  echo "the $arch package is not installed on this $(dpkg --print-architecture) machine"
  exit 0
fi
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
[[ $(man -w rw7300-speedtable) == /usr/share/man/man1/rw7300-speedtable.1.gz ]] ||
  fail "man does not find the installed page"
installed=$(dpkg -L rw7300-speedtable | sort)
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq rw7300-speedtable >/dev/null
! dpkg -s rw7300-speedtable >/dev/null 2>&1 || fail "still installed after remove"
while read -r path; do
  [[ -f $path || -L $path ]] && fail "left behind: $path"
done <<<"$installed"
echo "installed, ran and removed cleanly"

#!/usr/bin/env bash
# The programs' command lines and, where dpkg-deb is present, the Debian package built from this
# build tree (CPack reuses the programs already built): its control fields and maintainer
# scripts, every file it holds and nothing else, lintian, the desktop entry and AppStream
# validators, the udev rule, the manual pages, the bash completion, and each installed program
# run from an extracted root with --version.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1
source_dir=$2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
app_id=example.krt6.SettingTool
# The udev rule's folder: absolute as configured, or relative to the package's /usr.
udev_dir=$(sed -n 's/^KRT6_UDEV_RULES_DIR:STRING=//p' "$build/CMakeCache.txt")
[[ $udev_dir == /* ]] || udev_dir=/usr/$udev_dir
unit_dir=$(sed -n 's/^KRT6_SYSTEMD_UNIT_DIR:STRING=//p' "$build/CMakeCache.txt")
[[ $unit_dir == /* ]] || unit_dir=/usr/$unit_dir
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Every program this script starts runs under a bound: one that hangs is killed and fails its
# check instead of holding up the suite.
limit() {
  local seconds=$1
  shift
  timeout -k 5 "$seconds" "$@"
}
# A prefix that runs a command with DISPLAY naming an X display on 127.0.0.1 whose TCP port is
# known to be closed: a port the kernel handed out free, held bound (never listening) for the
# command's life, so that no server can take it meanwhile and every connection is refused at once.
dead_display=(python3 -c '
import os, socket, sys
held = []
for _ in range(100):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    held.append(s)
    if s.getsockname()[1] > 6000:
        break
else:
    sys.exit("no free port above 6000 for a display")
os.set_inheritable(s.fileno(), True)
os.environ["DISPLAY"] = "127.0.0.1:%d" % (s.getsockname()[1] - 6000)
os.execvp(sys.argv[1], sys.argv[1:])')

# The programs this configuration packages (krt6ctl and krt6-exporter only when built).
programs=()
declare -A built=()
while read -r name path; do
  programs+=("$name")
  built[$name]=$path
done <"$build/packaging/programs.txt"
[ -n "${built[krt6-setting-tool]:-}" ] && [ -n "${built[krt6-emulator]:-}" ] ||
  { echo "FAIL: $build/packaging/programs.txt lacks the window program or the emulator"; exit 1; }

# --- The window program's command line, from the build tree -----------------------------------
tool=${built[krt6-setting-tool]}
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
out=$(limit 30 "${no_display[@]}" "$tool" --help 2>&1)
[ $? -eq 0 ] && grep -q -- '--version' <<<"$out" && pass "--help without a display" ||
  fail "--help without a display: $out"
# The display checks are given (in order) no display at all, a display no server answers, and a
# Qt platform that does not exist: each ends with status 1 and exactly one line.
for case in "none|" "unreachable|dead" "bad platform|QT_QPA_PLATFORM=no-such-platform"; do
  name=${case%%|*}
  setting=${case#*|}
  launch=(limit 30 "${no_display[@]}" XDG_RUNTIME_DIR="$tmp")
  if [ "$setting" = dead ]; then
    launch+=("${dead_display[@]}")
  elif [ -n "$setting" ]; then
    launch+=("$setting")
  fi
  "${launch[@]}" "$tool" >"$tmp/out" 2>"$tmp/err"
  status=$?
  lines=$(wc -l <"$tmp/err")
  if [ $status -eq 1 ] && [ "$lines" -eq 1 ] && [ ! -s "$tmp/out" ] &&
     grep -q '^krt6-setting-tool: .*display' "$tmp/err"; then
    pass "display $name: one line, status 1"
  else
    fail "display $name: status $status, $lines lines: $(cat "$tmp/err")"
  fi
done

# --- postinst triggers only what the udev rule matches --------------------------------------------
# Run in a private mount namespace (root only): a udev control socket, a sysfs that holds the
# printer's serial lines beside others, and a udevadm that notes its arguments. The layouts: the
# printer's ttyACM0 and ttyUSB0 (below USB devices of vendor 6f2d) beside a serial adapter of
# another vendor and a built-in port; and the adapter and the port alone.
postinst=$source_dir/packaging/debian/postinst
if [ "$(id -u)" -ne 0 ] || ! limit 10 unshare -m true 2>/dev/null; then
  echo "postinst's triggers are not checked: that needs root and mount namespaces"
else
  mkdir -p "$tmp/fake-bin"
  printf '#!/bin/sh\necho "$*" >>"$UDEVADM_LOG"\n' >"$tmp/fake-bin/udevadm"
  printf '#!/bin/sh\nexit 1\n' >"$tmp/fake-bin/ischroot"
  chmod +x "$tmp/fake-bin/udevadm" "$tmp/fake-bin/ischroot"
  cat >"$tmp/fake-sysfs.sh" <<'SCRIPT'
set -e
layout=$1
mount -t tmpfs none /run && mkdir /run/udev
python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind("/run/udev/control")'
mount -t tmpfs none /sys
usb=/sys/devices/pci0000:00/0000:00:14.0/usb1
# usb_device NAME VENDOR: a USB device below the root hub; serial_line NAME DEVICE: a tty.
usb_device() { mkdir -p "$usb/$1" && echo "$2" >"$usb/$1/idVendor"; }
serial_line() { mkdir -p "/sys/class/tty/$1" "$2" && ln -s "$2" "/sys/class/tty/$1/device"; }
mkdir -p /sys/class/tty/console "$usb" /sys/devices/pnp0/00:00
echo 1d6b >"$usb/idVendor"
usb_device 1-3 0403 && serial_line ttyUSB1 "$usb/1-3/1-3:1.0/ttyUSB1"
serial_line ttyS0 /sys/devices/pnp0/00:00
if [ "$layout" = printer ]; then
  usb_device 1-1 6f2d && serial_line ttyACM0 "$usb/1-1/1-1:1.0"
  usb_device 1-2 6f2d && serial_line ttyUSB0 "$usb/1-2/1-2:1.0/ttyUSB0"
fi
PATH=$2:$PATH /bin/sh "$3" configure
SCRIPT
  usb_trigger="trigger --action=change --subsystem-match=usb --attr-match=idVendor=6f2d"
  for layout in printer none; do
    : >"$tmp/udevadm.log"
    expected="control --reload-rules"$'\n'"$usb_trigger"
    [ $layout = printer ] &&
      expected+=$'\n'"trigger --action=change /sys/class/tty/ttyACM0 /sys/class/tty/ttyUSB0"
    if UDEVADM_LOG=$tmp/udevadm.log limit 30 unshare -m /bin/sh "$tmp/fake-sysfs.sh" $layout \
         "$tmp/fake-bin" "$postinst" && [ "$(cat "$tmp/udevadm.log")" = "$expected" ]; then
      pass "postinst ($layout): reloads and triggers only the printer's devices"
    else
      fail "postinst ($layout) ran udevadm with: $(cat "$tmp/udevadm.log")"
    fi
  done
fi

# --- The package ----------------------------------------------------------------------------------
if ! command -v dpkg-deb >/dev/null; then
  echo "dpkg-deb is not installed: the package is not checked"
  exit $((failures > 0))
fi
if grep -q '^KRT6_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "sanitizer build: the package is built and checked by the plain build only"
  exit $((failures > 0))
fi

(cd "$build" && limit 900 cpack -G DEB -B "$tmp/cpack" >"$tmp/cpack.log" 2>&1) || {
  cat "$tmp/cpack.log"
  fail "cpack"
  exit 1
}
deb=$(ls "$tmp"/cpack/*.deb)
[ "$(basename "$deb")" = "krt6-setting-tool_${version}_$(dpkg --print-architecture).deb" ] &&
  pass "package file $(basename "$deb")" || fail "package file name $(basename "$deb")"

field() { limit 60 dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = krt6-setting-tool ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
grep -Eq '^[^<]+ <[^@ ]+@[^> ]+>$' <<<"$(field Maintainer)" || fail "Maintainer: $(field Maintainer)"
[ "$(field Description | wc -l)" -ge 5 ] || fail "Description too short"
depends=$(field Depends)
# fonts-noto-cjk is named; the libraries come from the binaries (shlibdeps).
for dep in fonts-noto-cjk libqt6widgets6 libusb-1.0-0 libc6; do
  grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
limit 60 dpkg-deb --ctrl-tarfile "$deb" | limit 60 tar -x -C "$tmp" ./postinst ./postrm 2>/dev/null
# The exporter's flags are a conffile (dpkg keeps the admin's edits), and nothing else is one.
limit 60 dpkg-deb --ctrl-tarfile "$deb" | limit 60 tar -xO ./conffiles >"$tmp/conffiles" 2>/dev/null
expected_conffiles=
[ -n "${built[krt6-exporter]:-}" ] && expected_conffiles=/etc/default/krt6-exporter
[ "$(cat "$tmp/conffiles")" = "$expected_conffiles" ] && pass "conffiles: [$expected_conffiles]" ||
  fail "conffiles: [$(cat "$tmp/conffiles")], not [$expected_conffiles]"
for script in postinst postrm; do
  if [ -x "$tmp/$script" ] && grep -q 'udevadm control --reload-rules' "$tmp/$script" &&
     grep -q '/run/udev/control' "$tmp/$script" && limit 30 sh -n "$tmp/$script"; then
    pass "$script reloads the udev rules where udev runs"
  else
    fail "$script: missing, not executable, unguarded or without the reload"
  fi
done
# postinst in a root without udev (as in a chroot) does nothing and succeeds.
limit 30 env PATH=/nonexistent /bin/sh "$tmp/postinst" configure && pass "postinst without udevadm" ||
  fail "postinst fails without udevadm"

# Every file the package holds, and nothing else.
expected=(
  /usr/share/applications/$app_id.desktop
  /usr/share/metainfo/$app_id.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/krt6-setting-tool.svg
  "$udev_dir/70-krt6.rules"
  /usr/share/doc/krt6-setting-tool/copyright
  /usr/share/doc/krt6-setting-tool/changelog.gz
)
sizes=(16 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/krt6-setting-tool.png")
done
for p in "${programs[@]}"; do
  expected+=("/usr/bin/$p" "/usr/share/man/man1/$p.1.gz")
done
[ -n "${built[krt6ctl]:-}" ] && expected+=(/usr/share/bash-completion/completions/krt6ctl
  "$unit_dir/krt6-textfile.service" "$unit_dir/krt6-textfile.timer")
[ -n "${built[krt6-exporter]:-}" ] && expected+=("$unit_dir/krt6-exporter.service"
  /etc/default/krt6-exporter)
limit 60 dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort >"$tmp/held"
printf '%s\n' "${expected[@]}" | sort >"$tmp/expected"
if diff "$tmp/expected" "$tmp/held" >"$tmp/diff"; then
  pass "the package holds exactly the ${#expected[@]} expected files"
else
  fail "package contents differ (< expected, > held):"
  cat "$tmp/diff"
fi
if limit 60 dpkg-deb -c "$deb" | awk '{ print $2 }' | grep -qv '^root/root$'; then
  fail "files not owned by root"
fi

root=$tmp/root
limit 120 dpkg-deb -x "$deb" "$root"

if command -v lintian >/dev/null; then
  limit 900 lintian --fail-on error,warning --suppress-tags binary-has-unneeded-section "$deb" \
    >"$tmp/lintian" 2>&1
  status=$?
  grep -v 'root privileges' "$tmp/lintian"
  [ $status -eq 0 ] && pass "lintian: no errors or warnings" || fail "lintian"
fi
if command -v desktop-file-validate >/dev/null; then
  limit 60 desktop-file-validate "$root/usr/share/applications/$app_id.desktop" &&
    pass "desktop-file-validate" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  limit 60 appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" \
    >"$tmp/appstream" 2>&1 && pass "appstreamcli validate --no-net" ||
    { cat "$tmp/appstream"; fail "appstreamcli validate"; }
fi

desktop=$root/usr/share/applications/$app_id.desktop
for key in 'Name=' 'Name\[ja\]=' 'Comment=' 'Comment\[ja\]=' 'Categories=' 'Keywords=' \
           'Icon=krt6-setting-tool$' 'Exec=krt6-setting-tool$'; do
  grep -q "^$key" "$desktop" || fail "desktop entry lacks $key"
done
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
  fail "metainfo: launchable"
grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "metainfo: content rating"
for shot in "$source_dir"/docs/screenshots/*.png; do
  grep -q "/$(basename "$shot")</image>" "$metainfo" || fail "metainfo lacks $(basename "$shot")"
done
# Each PNG is the size its folder names (width and height from the PNG header).
for size in "${sizes[@]}"; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/krt6-setting-tool.png
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
  [ "$dims" = "${size}x${size}" ] || fail "icon ${size}x${size} is $dims"
done

rule=$root$udev_dir/70-krt6.rules
grep -Eq '^SUBSYSTEM=="usb",.*ATTR\{idVendor\}=="6f2d",.*TAG\+="uaccess"' "$rule" ||
  fail "udev rule: no uaccess for the USB device"
# The group lp, which krt6-exporter.service's own user is in, may open the USB device too.
grep -Eq '^SUBSYSTEM=="usb",.*ATTR\{idVendor\}=="6f2d",.*GROUP="lp"' "$rule" ||
  fail "udev rule: the USB device is not the group lp's"
grep -Eq '^SUBSYSTEM=="tty",.*ATTRS\{idVendor\}=="6f2d",.*ENV\{ID_MM_DEVICE_IGNORE\}="1"' "$rule" ||
  fail "udev rule: ModemManager not kept off the printer's serial lines"

# Manual pages: each renders without a groff warning and has the sections a reader looks for.
if command -v man >/dev/null; then
  for p in "${programs[@]}"; do
    page=$root/usr/share/man/man1/$p.1.gz
    MANWIDTH=80 LC_ALL=C.UTF-8 limit 60 man --warnings -l "$page" >"$tmp/page" 2>"$tmp/page.err"
    if [ -s "$tmp/page.err" ]; then
      fail "man -l $p: $(head -3 "$tmp/page.err")"
    fi
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES 'SEE ALSO'; do
      grep -q "^$section" "$tmp/page" || fail "man page of $p lacks $section"
    done
    # Every long option the program's --help names is in its manual page.
    for option in $(limit 30 "$root/usr/bin/$p" --help 2>/dev/null | grep -oE -- '--[a-z][a-z0-9-]+' | sort -u); do
      grep -q -- "$option" "$tmp/page" || fail "man page of $p lacks $option"
    done
  done
fi

# bash completion: the first word offers every command krt6ctl --help lists, and after each
# command every long option that command's --help lists; the manual page names them all.
if [ -n "${built[krt6ctl]:-}" ]; then
  ctl=$root/usr/bin/krt6ctl
  completion=$root/usr/share/bash-completion/completions/krt6ctl
  # Offers for the words of $1 (ending in a space: a new word).
  offers() {
    limit 30 bash -c 'source "$1"; read -ra COMP_WORDS <<<"$2"; [[ $2 == *" " ]] && COMP_WORDS+=("");
             COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE=$2; COMP_POINT=${#2}
             function=$(complete -p krt6ctl | sed -E "s/.*-F ([^ ]+).*/\1/")
             "$function" krt6ctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
             printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$1"
  }
  MANWIDTH=80 LC_ALL=C.UTF-8 limit 60 man -l "$root/usr/share/man/man1/krt6ctl.1.gz" >"$tmp/ctl-page" 2>/dev/null
  long_options() { grep -oE -- '--[a-z][a-z0-9-]+' | sort -u; }
  commands=$(limit 30 "$ctl" --help | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }')
  [ "$(wc -w <<<"$commands")" -ge 10 ] || fail "krt6ctl --help lists too few commands: $commands"
  first=$(offers "krt6ctl ")
  globals=$(offers "krt6ctl --")
  for option in $(limit 30 "$ctl" --help | long_options); do
    grep -qx -- "$option" <<<"$globals" || fail "completion does not offer $option"
  done
  for c in $commands; do
    grep -qx "$c" <<<"$first" || fail "completion does not offer the command $c"
    grep -qE "^ {7}$c( |\$)" "$tmp/ctl-page" || fail "man page of krt6ctl lacks the command $c"
    offered=$(offers "krt6ctl $c --")
    for option in $(limit 30 "$ctl" "$c" --help | long_options); do
      grep -qx -- "$option" <<<"$offered" || fail "completion of $c does not offer $option"
      grep -q -- "$option" "$tmp/ctl-page" || fail "man page of krt6ctl lacks $c $option"
    done
  done
  # A file name with a blank is offered as one word wherever a file goes.
  mkdir "$tmp/names" && : >"$tmp/names/a b.json"
  for line in "krt6ctl get all -o a" "krt6ctl --targets a" "krt6ctl diff a" "krt6ctl convert a"; do
    got=$(cd "$tmp/names" && offers "$line")
    [ "$got" = "a b.json" ] || fail "completion of '$line' offers $(printf '[%s]' $got)"
  done
  grep -qx "comm_speed=" <<<"$(offers "krt6ctl set comm")" || fail "completion of set keys"
  # After set, KEY= of every key of the field table and of nothing else.
  table_keys=$(limit 30 "$build/packaging/krt6-completion" | sed 's/$/=/' | sort)
  set_keys=$(cd "$tmp/names" && offers "krt6ctl set " | grep '=$' | sort)
  [ -n "$table_keys" ] && [ "$set_keys" = "$table_keys" ] ||
    fail "completion of set offers other keys than the field table's: $set_keys"
  grep -qx "reflective" <<<"$(offers "krt6ctl calibrate ")" || fail "completion of calibrate"
  # After -t, the target prefix of every link kind.
  prefixes=$(offers "krt6ctl status -t " | sort | tr '\n' ' ')
  [ "$prefixes" = "parallel: serial: socket:// usb: " ] ||
    fail "completion of -t offers [$prefixes], not the link kinds' prefixes"
  pass "krt6ctl completion and manual page cover $(wc -w <<<"$commands") commands"
fi

# Each installed program runs from the extracted root and tells its version.
for p in "${programs[@]}"; do
  got=$(limit 30 env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$p" --version 2>&1)
  [ "$got" = "$p $version" ] && pass "$p --version: $got" || fail "$p --version: '$got'"
done

[ $failures -eq 0 ] && echo "all package checks passed" || echo "$failures check(s) failed"
exit $((failures > 0))

#!/usr/bin/env bash
# The systemd units of packaging/systemd, offline (no running systemd needed): systemd-analyze
# verify finds nothing to say about them, systemd-analyze security rates both services well
# hardened, and the units agree with the rest of the package: the exporter's flags file, the
# textfile's command and the folder it may write, the groups that own the printer devices.
# Usage: systemd_units_test.sh SOURCE_DIR KRT6CTL [KRT6_EXPORTER]
# Exit status 77 (skipped) when systemd-analyze is not installed.
set -uo pipefail
source_dir=$1
krt6ctl=$2
exporter=${3:-}
units=$source_dir/packaging/systemd
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze is not installed: the units are not checked"
  exit 77
fi
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
limit() { timeout -k 5 60 "$@"; }

# verify wants every ExecStart program to exist: the copies run the programs of this build.
if [ -z "$exporter" ]; then
  echo "krt6-exporter is not built: its unit runs a stand-in here"
  exporter=$tmp/krt6-exporter
  printf '#!/bin/sh\nexit 0\n' >"$exporter" && chmod +x "$exporter"
fi
mkdir "$tmp/units"
for unit in krt6-exporter.service krt6-textfile.service krt6-textfile.timer; do
  sed -e "s#^ExecStart=/usr/bin/krt6-exporter #ExecStart=$exporter #" \
      -e "s#^ExecStart=/usr/bin/krt6ctl #ExecStart=$krt6ctl #" "$units/$unit" >"$tmp/units/$unit"
done
copies=("$tmp"/units/krt6-exporter.service "$tmp"/units/krt6-textfile.service
        "$tmp"/units/krt6-textfile.timer)
# A warning (an unknown key, a value that does not parse) leaves the exit status 0: any output
# at all fails.
limit systemd-analyze verify --man=no "${copies[@]}" >"$tmp/verify" 2>&1
status=$?
if [ $status -eq 0 ] && [ ! -s "$tmp/verify" ]; then
  pass "systemd-analyze verify: the three units, nothing to report"
else
  fail "systemd-analyze verify (status $status):"
  cat "$tmp/verify"
fi
# The same verify does speak up about a unit with a misspelt key (else the check above is void).
sed 's/^ProtectSystem=/ProtectSystm=/' "$tmp/units/krt6-exporter.service" >"$tmp/units/broken.service"
limit systemd-analyze verify --man=no "$tmp/units/broken.service" 2>&1 | grep -q ProtectSystm ||
  fail "systemd-analyze verify says nothing about a misspelt key"

# Exposure 0-10 (the threshold counts tenths): an unhardened service rates 9.6; these must stay
# at 2.5 or below.
for unit in krt6-exporter.service krt6-textfile.service; do
  limit systemd-analyze security --offline=yes --man=no --threshold=25 "$tmp/units/$unit" \
    >"$tmp/security" 2>&1
  status=$?
  level=$(grep -o 'exposure level for [^:]*: [0-9.]*' "$tmp/security" | sed 's/.*: //')
  if [ $status -eq 0 ] && [ -n "$level" ]; then
    pass "$unit: exposure $level"
  else
    fail "$unit: exposure ${level:-unknown} (status $status)"
    grep '✗' "$tmp/security"
  fi
done

# The units against the rest of the package.
key() { sed -n "s/^$2=//p" "$units/$1"; }
[ "$(key krt6-exporter.service EnvironmentFile)" = "-/etc/default/krt6-exporter" ] &&
  [ "$(key krt6-exporter.service ExecStart)" = '/usr/bin/krt6-exporter $ARGS' ] &&
  grep -q '^ARGS=""$' "$source_dir/packaging/systemd/krt6-exporter.default" &&
  pass "the exporter's flags come from /etc/default/krt6-exporter" ||
  fail "the exporter's ExecStart, EnvironmentFile or the ARGS of krt6-exporter.default"
prom=/var/lib/prometheus/node-exporter/krt6.prom
[ "$(key krt6-textfile.service ExecStart)" = \
  "/usr/bin/krt6ctl status --targets /etc/krt6/targets --textfile $prom" ] &&
  [ "$(key krt6-textfile.service ReadWritePaths)" = "$(dirname "$prom")" ] &&
  pass "krt6-textfile.service writes $prom and may write nothing else" ||
  fail "krt6-textfile.service: ExecStart or ReadWritePaths"
# The group the udev rule gives the printer's USB device, and dialout for the serial lines.
usb_group=$(sed -n 's/^SUBSYSTEM=="usb",.*GROUP="\([a-z]*\)".*/\1/p' "$source_dir/packaging/70-krt6.rules")
groups=" $(key krt6-exporter.service SupplementaryGroups) "
if [ -n "$usb_group" ] && [[ $groups == *" $usb_group "* ]] && [[ $groups == *" dialout "* ]] &&
   [ "$(key krt6-exporter.service DynamicUser)" = yes ]; then
  pass "the exporter's own user is in dialout and $usb_group (the USB device's group)"
else
  fail "SupplementaryGroups [$groups] lack dialout or the USB device's group [$usb_group]"
fi

[ $failures -eq 0 ] && echo "all unit checks passed" || echo "$failures check(s) failed"
exit $((failures > 0))

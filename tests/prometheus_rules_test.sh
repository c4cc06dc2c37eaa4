#!/usr/bin/env bash
# The example alert rules of contrib/prometheus: promtool accepts them (check rules) and every
# case of krt6-alerts.test.yml holds (test rules). Exit status 77 (skipped) without promtool.
# Usage: prometheus_rules_test.sh SOURCE_DIR
set -uo pipefail
dir=$1/contrib/prometheus
if ! command -v promtool >/dev/null; then
  echo "promtool is not installed: the alert rules are not checked"
  exit 77
fi
failures=0
cd "$dir" || exit 1
timeout -k 5 60 promtool check rules krt6-alerts.yml || { echo "FAIL: promtool check rules"; failures=1; }
timeout -k 5 120 promtool test rules krt6-alerts.test.yml || { echo "FAIL: promtool test rules"; failures=1; }
exit $failures

#!/usr/bin/env bash
# The stand-in against Microsoft's SourceSafe 6.0d: the same databases read through both libraries
# by one probe (tests/win/sourcesafe/probe.cpp) must read the same. The databases are copies of the
# samples (../shared/vss-samples) and databases made by real SourceSafe from the scenarios in
# scenarios/ (make_db.py). Prints, per database, the differences by kind (compare.py), and fails on
# any but those known-differences.txt lists with their reasons. Without SourceSafe's programs or
# the samples it says so and exits 77 (skipped).
# Usage: conformance.sh PROBE_EXE STANDIN_DLL [DATABASE_NAME...]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../../scripts/common.sh"
probe_exe=$1 dll=$2
shift 2
programs=$(sourcesafe_dir)
samples=$(vss_samples_dir)
if [ -z "$programs" ]; then
  echo "skipped: SourceSafe's programs not found (OSTRABEL_SOURCESAFE, or a folder 'sourcesafe' beside the checkout)"
  exit 77
fi
if [ -z "$samples" ] || [ ! -f "$samples/tiny/srcsafe.ini" ]; then
  echo "skipped: no sample databases (OSTRABEL_VSS_SAMPLES, or ../shared/vss-samples)"
  exit 77
fi
if needs_i386_namespace; then exec "$top/scripts/with-i386" bash "$0" "$probe_exe" "$dll" "$@"; fi
if [ -z "${WINEPREFIX:-}" ]; then wine_env 32; else wine_loader_env 32; fi
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine=$(wine_bin 32)
standin_prefix=$WINEPREFIX real_prefix=$WINEPREFIX.sourcesafe
# OSTRABEL_CONFORMANCE_KEEP=DIR keeps the databases and both readings there, to look into.
work=${OSTRABEL_CONFORMANCE_KEEP:-$(mktemp -d /tmp/ostrabel-conformance.XXXXXX)}
mkdir -p "$work"
cleanup() {
  WINEPREFIX=$real_prefix "$(wineserver_bin)" -k >/dev/null 2>&1
  rm -rf "$real_prefix"
  [ -n "${OSTRABEL_CONFORMANCE_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
"$top/scripts/register-standin" "$dll" >/dev/null || { echo "FAILED: registering $dll"; exit 1; }
"$top/scripts/sourcesafe-prefix" "$real_prefix" >/dev/null || { echo "FAILED: making the SourceSafe prefix"; exit 1; }
WINEPREFIX=$real_prefix "$(wineserver_bin)" -p
winpath() { echo "Z:$1" | tr '/' '\\'; }

# Each database: its name, where it comes from (a sample or a scenario), the login.
databases=(
  "tiny sample Johnson AAH8"
  "micnets sample Janet 7T1066"
  "inventory sample Admin -"
  "push114crm sample Admin -"
)
for scenario in "$here"/scenarios/*.txt; do
  databases+=("$(basename "$scenario" .txt) scenario Admin -")
done

failed=0 compared=0 started=$SECONDS
for entry in "${databases[@]}"; do
  read -r name kind user password <<< "$entry"
  [ "$password" = - ] && password=
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  db=$work/$name
  from=$SECONDS
  if [ "$kind" = sample ]; then
    rm -rf "$db"; cp -a "$samples/$name" "$db" && chmod -R u+w "$db"
  elif ! WINEPREFIX=$real_prefix python3 "$here/make_db.py" "$here/scenarios/$name.txt" "$db" \
         "$samples/tiny" "$wine" > "$work/$name.made" 2>&1; then
    echo "FAILED: $name: making the database with SourceSafe: $(cat "$work/$name.made")"
    failed=$((failed + 1)); continue
  fi
  made=$((SECONDS - from))
  # The stand-in reads first: SourceSafe writes into the database folder when it opens it.
  for side in standin real; do
    prefix=$standin_prefix; [ $side = real ] && prefix=$real_prefix
    WINEPREFIX=$prefix "$wine" "$probe_exe" "$(winpath "$work/$name.$side.txt")" \
      "$(winpath "$db/srcsafe.ini")" "$user" "$password" </dev/null >/dev/null 2>&1
  done
  compared=$((compared + 1))
  took="made in ${made} s, read in $((SECONDS - from - made)) s"
  if python3 "$here/compare.py" "$work/$name.real.txt" "$work/$name.standin.txt" > "$work/$name.diff"; then
    known=$(grep -c '^  known, left out' "$work/$name.diff")
    echo "ok: $name reads the same through both libraries ($(grep -c '^item ' "$work/$name.real.txt") items, $known known differences left out; $took)"
  else
    failed=$((failed + 1))
    echo "FAILED: $name ($took): $(cat "$work/$name.diff")"
  fi
done
echo "$compared databases compared in $((SECONDS - started)) s, $failed failed"
[ "$failed" = 0 ]

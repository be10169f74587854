#!/bin/sh
# ReportReplayProbe.sh WINERUN LOADER PREFIX BONHOST SIMREG SIMDLL DRIVERDLL FOLDER REPORT...
# Each REPORT folder (bonhost selftest --report-dir) is replayed in the
# fresh Wine prefix PREFIX: simreg replay-report REPORT, the report's
# settings beside a copy of DRIVERDLL, and bonhost selftest on the channel
# the report tested. Its PASS, FAIL and SKIP rows must be the report's (a
# report from an older bonhost lacks the checks added since: only the rows
# it has are compared).
set -u
prefix=$3; run="$1 --loader $2 $3"; bonhost=$4; simreg=$5; simdll=$6; dll=$7; folder=$8; shift 8
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
verdicts() { grep -E '^(PASS|FAIL|SKIP) ' | awk '{ print $1, $2 }'; }
rm -rf "$prefix" "$prefix.lock" "$folder"; mkdir -p "$folder"
$run "$simreg" register "$(winpath "$simdll")" >/dev/null || { echo "cannot register the simulator"; exit 1; }
failed=0
for report in "$@"; do
  name=$(basename "$report")
  [ -f "$report/report.txt" ] || { echo "$name: no report.txt"; failed=1; continue; }
  $run "$simreg" replay-report "$(winpath "$report")" >"$folder/$name.replay.log" 2>&1 ||
    { echo "$name: replay-report failed"; cat "$folder/$name.replay.log"; failed=1; continue; }
  mkdir -p "$folder/$name"
  cp "$dll" "$folder/$name/BonDriver_TesselBDA.dll"
  cp "$report"/settings/* "$folder/$name/"
  # The channel the report tested, as its table names it ("13ch (UFH)").
  channel=$(sed -n 's/^stream.ts: .*space \([0-9]*\), channel \([0-9]*\).*/--space \1 --channel \2/p' \
            "$report/report.txt")
  $run "$bonhost" selftest --driver "$(winpath "$folder/$name/BonDriver_TesselBDA.dll")" $channel \
    >"$folder/$name.selftest.txt" 2>&1
  verdicts <"$report/report.txt" >"$folder/$name.want"
  verdicts <"$folder/$name.selftest.txt" |
    awk 'NR == FNR { want[$2] = 1; next } ($2 in want)' "$folder/$name.want" - >"$folder/$name.got"
  if [ -s "$folder/$name.want" ] && cmp -s "$folder/$name.want" "$folder/$name.got"; then
    echo "$name: the same $(wc -l <"$folder/$name.got") rows ($(grep -c FAIL "$folder/$name.got") FAIL)"
  else
    echo "$name: the rows differ (report, then replay):"
    diff "$folder/$name.want" "$folder/$name.got"
    failed=1
  fi
done
$run "$simreg" replay-report --off >/dev/null 2>&1
exit $failed

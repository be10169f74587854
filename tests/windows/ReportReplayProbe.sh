#!/bin/sh
# ReportReplayProbe.sh WINERUN LOADER PREFIX BONHOST SIMREG SIMDLL DRIVERDLL FOLDER REPORT...
# Each REPORT folder (bonhost selftest --report-dir) is replayed in the
# fresh Wine prefix PREFIX: simreg replay-report REPORT, the report's
# settings beside a copy of DRIVERDLL, and bonhost selftest on the channel
# the report tested. Its PASS, FAIL and SKIP rows must be the report's (a
# report from an older bonhost lacks the checks added since: only the rows
# it has are compared).
# The first REPORT, without its device calls (as the release DLL makes it),
# must be refused; and replay-report --off must leave the prefix's tuners
# and channel sources as they were before the first replay.
set -u
prefix=$3; run="$1 --loader $2 $3"; bonhost=$4; simreg=$5; simdll=$6; dll=$7; folder=$8; shift 8
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
verdicts() { grep -E '^(PASS|FAIL|SKIP) ' | awk '{ print $1, $2 }'; }
# The prefix's setup as simreg shows it, without the instance keys.
setup() { $run "$simreg" list | cut -f1,3,4; $run "$simreg" sources; }
rm -rf "$prefix" "$prefix.lock" "$folder"; mkdir -p "$folder"
$run "$simreg" register "$(winpath "$simdll")" >/dev/null || { echo "cannot register the simulator"; exit 1; }
$run "$simreg" add-tuners 2 >/dev/null && $run "$simreg" silence 20ch >/dev/null ||
  { echo "cannot set up the prefix"; exit 1; }
setup >"$folder/setup.before"
failed=0

# A release DLL's report: the same folder without device calls.
release=$folder/release-report
cp -r "$1" "$release"
: >"$release/device-calls.txt"
if $run "$simreg" replay-report "$(winpath "$release")" >"$folder/release.log" 2>&1; then
  echo "release-report: replayed, not refused"; failed=1
elif ! grep -q 'trace\\BonDriver_TesselBDA.dll' "$folder/release.log"; then
  echo "release-report: refused without naming the tracing DLL:"; cat "$folder/release.log"; failed=1
else
  printf 'release-report: refused: %s\n' "$(sed -n 's/.*: the report holds/the report holds/p' "$folder/release.log" | cut -c1-60)"
fi

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
$run "$simreg" replay-report --off >"$folder/off.log" 2>&1 || { echo "replay-report --off failed"; failed=1; }
setup >"$folder/setup.after"
if ! cmp -s "$folder/setup.before" "$folder/setup.after"; then
  echo "replay-report --off: the prefix differs from before (before, then after):"
  diff "$folder/setup.before" "$folder/setup.after"
  failed=1
fi
exit $failed

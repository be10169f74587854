#!/usr/bin/env bash
# TunerCommandProbe.sh WINERUN LOADER PREFIX BONHOST SIMREG SIMDLL DRIVERDLL FOLDER
# `bonhost record --out -` as a tuner server runs it: nothing but whole TS
# packets on stdout; a channel given by its tuner-server name; no --seconds,
# so it records until it is stopped: by Ctrl+C, by a line or the end of a
# piped stdin, by the reader of stdout going away, each ending it with exit
# code 0 and its summary on stderr; stdin from /dev/null or a --seconds
# recording does not stop early; a SIGTERM (which ends a Wine process
# outright) leaves nothing that stops the next start; a channel that cannot
# be recorded (no such name, a placeholder, a tuner that does not open)
# says why on stderr and ends no sooner than 1 s.
set -u
run="$1 --loader $2 $3"; bonhost=$4; simreg=$5; simdll=$6; dll=$7; folder=$8
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
failed=0
check() { if eval "$2"; then echo "ok    $1"; else echo "FAIL  $1"; failed=1; fi; }
now() { date +%s%N; }
ms_since() { echo $(( ($(now) - $1) / 1000000 )); }

rm -rf "$folder"; mkdir -p "$folder"
cp "$dll" "$folder/BonDriver_TesselBDA.dll"
printf '[FRONTEND]\r\nNetworkName=ISDBT\r\nTunerFrendlyName=Tessel Sim ISDB Tuner\r\nDeviceID=0\r\n' \
  >"$folder/BonDriver_TesselBDA.ini"
$run "$simreg" register "$(winpath "$simdll")" >/dev/null &&
  $run "$simreg" clear >/dev/null && $run "$simreg" add-tuners 1 >/dev/null &&
  $run "$simreg" live --all >/dev/null || { echo "simreg could not set the tuner up"; exit 1; }
driver=$(winpath "$folder/BonDriver_TesselBDA.dll")
# exec: in the background, $! is then the Windows process itself, which
# signals must reach.
record() { exec $run "$bonhost" record --driver "$driver" "$@"; }

# Whole packets from the first byte on, at least MIN bytes (a cut reader may
# end mid-packet only when CUT is given).
whole_ts() {
  python3 - "$1" "$2" "${3:-}" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
cut = sys.argv[3] == "cut"
ok = len(data) >= int(sys.argv[2]) and (cut or len(data) % 188 == 0)
ok = ok and all(data[i] == 0x47 for i in range(0, len(data) - 187, 188))
sys.exit(0 if ok else 1)
PY
}
# Waits up to S seconds for PID to end; its exit code in $status.
wait_for() {
  local pid=$1 limit=$(( $2 * 10 ))
  for _ in $(seq "$limit"); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; wait "$pid"; status=timeout; return 1; fi
  wait "$pid"; status=$?
}

# Refusals: the reason on stderr, nothing on stdout, and no early end.
start=$(now)
(record --channel '<freq>' --out -) </dev/null >"$folder/placeholder.out" 2>"$folder/placeholder.err"
status=$? took=$(ms_since "$start")
check "a literal <freq> is a usage error (exit $status, $took ms)" \
  '[ $status -eq 1 ] && [ $took -ge 1000 ] && [ ! -s "$folder/placeholder.out" ] && grep -q "placeholder" "$folder/placeholder.err"'
start=$(now)
(record --channel 99 --out -) </dev/null >"$folder/unknown.out" 2>"$folder/unknown.err"
status=$? took=$(ms_since "$start")
check "99 is an unknown channel (exit $status, $took ms)" \
  '[ $status -eq 5 ] && [ $took -ge 1000 ] && [ ! -s "$folder/unknown.out" ] && grep -q "no tuner server" "$folder/unknown.err"'
(record --channel BS01_0 --out -) </dev/null >"$folder/satellite.out" 2>"$folder/satellite.err"
status=$?
check "BS01_0 on a terrestrial driver is an unknown channel, named as BS1/TS0 (exit $status)" \
  '[ $status -eq 5 ] && [ ! -s "$folder/satellite.out" ] && grep -q "BS BS1/TS0.*no tuning space BS" "$folder/satellite.err"'

# A tuner that does not open: the reason on stderr, no early end.
cp "$dll" "$folder/Absent.dll"
printf '[FRONTEND]\r\nNetworkName=ISDBT\r\nTunerFrendlyName=No Such Tuner\r\nDeviceID=0\r\n' >"$folder/Absent.ini"
start=$(now)
(exec $run "$bonhost" record --driver "$(winpath "$folder/Absent.dll")" --channel 27 --out -) </dev/null \
  >"$folder/absent.out" 2>"$folder/absent.err"
status=$? took=$(ms_since "$start")
check "a tuner that does not open says so and ends no sooner than 1 s (exit $status, $took ms)" \
  '[ $status -eq 4 ] && [ $took -ge 1000 ] && [ ! -s "$folder/absent.out" ] && grep -q "open failed" "$folder/absent.err"'

# Stdin from /dev/null: records on until Ctrl+C (SIGINT under Wine).
(record --channel 27 --out -) </dev/null >"$folder/interrupt.ts" 2>"$folder/interrupt.err" &
pid=$!
sleep 4
check "stdin from /dev/null does not end the recording" 'kill -0 $pid 2>/dev/null'
start=$(now); kill -INT "$pid"; wait_for "$pid" 10; took=$(ms_since "$start")
check "Ctrl+C ends it with exit code 0 (status $status, $took ms)" '[ "$status" = 0 ]'
check "its stdout holds only whole TS packets" 'whole_ts "$folder/interrupt.ts" 1000000'
check "its summary went to stderr" \
  'grep -q "^stopped: Ctrl+C" "$folder/interrupt.err" && tr "\r" "\n" <"$folder/interrupt.err" | grep -q "^sync losses: 0"'

# A line on a piped stdin, then the end of one.
for stop in line end; do
  rm -f "$folder/stdin"; mkfifo "$folder/stdin"
  (record --channel 27 --out -) <"$folder/stdin" >"$folder/$stop.ts" 2>"$folder/$stop.err" &
  pid=$!
  exec 3>"$folder/stdin"
  sleep 4
  check "a quiet piped stdin does not end the recording ($stop)" 'kill -0 $pid 2>/dev/null'
  start=$(now)
  if [ $stop = line ]; then echo >&3; fi
  [ $stop = end ] && exec 3>&-
  wait_for "$pid" 10; took=$(ms_since "$start")
  exec 3>&-
  check "the $stop of stdin ends it with exit code 0 (status $status, $took ms)" '[ "$status" = 0 ]'
  check "... with whole packets on stdout" 'whole_ts "$folder/$stop.ts" 1000000'
done

# The reader of stdout goes away.
start=$(now)
(record --channel 16 --out -) </dev/null 2>"$folder/reader.err" | head -c 3000000 >"$folder/reader.ts"
statuses=("${PIPESTATUS[@]}") took=$(ms_since "$start")
check "a reader that went away ends it with exit code 0 (status ${statuses[0]}, $took ms in all)" \
  '[ "${statuses[0]}" = 0 ] && grep -q "^stopped: the reader of stdout went away" "$folder/reader.err"'
check "... the reader got whole packets" 'whole_ts "$folder/reader.ts" 3000000 cut'

# With --seconds, stdin is no stop: a line at once does not end it early.
start=$(now)
echo | (record --channel 27 --seconds 3 --out -) >"$folder/seconds.ts" 2>"$folder/seconds.err"
status=$? took=$(ms_since "$start")
check "--seconds 3 ignores stdin (exit $status, $took ms)" \
  '[ $status -eq 0 ] && [ $took -ge 3000 ] && whole_ts "$folder/seconds.ts" 1000000'

# A SIGTERM ends the Windows process outright; the next start still records.
(record --channel 27 --out -) </dev/null >"$folder/killed.ts" 2>/dev/null &
pid=$!
sleep 4; kill -TERM "$pid"; wait_for "$pid" 10
(record --channel 27 --seconds 3 --out -) </dev/null >"$folder/after-kill.ts" 2>"$folder/after-kill.err"
status=$?
check "after a SIGTERM the next start records (exit $status)" \
  '[ $status -eq 0 ] && whole_ts "$folder/after-kill.ts" 1000000'
exit $failed

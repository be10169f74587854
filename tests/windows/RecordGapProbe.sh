#!/bin/sh
# RecordGapProbe.sh WINERUN LOADER PREFIX BONHOST SIMREG SIMDLL DRIVERDLL FOLDER [SLOW_MS]
# A 20 s `bonhost record` while another process unplugs the simulated tuner
# 5 s in and plugs it back 5 s later: bonhost must say when the stream
# stopped and when it resumed, and the file must hold TS from both sides of
# the gap (whole packets at its start and at its end, and more bytes than the
# time before the gap alone gives). With SLOW_MS the device is made slow
# (simreg slow 1 SLOW_MS) once the recording runs, so the rebuild's Run
# waits that long, and the recording is longer by as much.
set -u
run="$1 --loader $2 $3"; bonhost=$4; simreg=$5; simdll=$6; dll=$7; folder=$8; slow=${9:-0}
seconds=$((20 + slow / 1000))
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
rm -rf "$folder"; mkdir -p "$folder"
cp "$dll" "$folder/BonDriver_TesselBDA.dll"
printf '[FRONTEND]\r\nNetworkName=ISDBT\r\nTunerFrendlyName=Tessel Sim ISDB Tuner\r\nDeviceID=0\r\n' \
  >"$folder/BonDriver_TesselBDA.ini"
$run "$simreg" register "$(winpath "$simdll")" >/dev/null &&
  $run "$simreg" clear >/dev/null && $run "$simreg" add-tuners 1 >/dev/null &&
  $run "$simreg" live --all >/dev/null || { echo "simreg could not set the tuner up"; exit 1; }
$run "$bonhost" record --driver "$(winpath "$folder/BonDriver_TesselBDA.dll")" --space 0 \
  --channel 13ch --seconds $seconds --out "$(winpath "$folder/gap.ts")" >"$folder/record.log" 2>&1 &
recorder=$!
sleep 3; [ "$slow" -gt 0 ] && $run "$simreg" slow 1 "$slow"
sleep 2; $run "$simreg" unplug 1
sleep 5; $run "$simreg" replug 1
wait $recorder; status=$?
$run "$simreg" replug --all >/dev/null 2>&1
$run "$simreg" slow --all 0 >/dev/null 2>&1
tr '\r' '\n' <"$folder/record.log" | grep -E 'stream (stopped|resumed)|^bytes|^gaps'
[ $status -eq 0 ] || { echo "bonhost record exited with $status"; exit 1; }
tr '\r' '\n' <"$folder/record.log" | grep -q 'stream stopped' || { echo "no stop line"; exit 1; }
tr '\r' '\n' <"$folder/record.log" | grep -q 'stream resumed' || { echo "no resume line"; exit 1; }
python3 - "$folder/gap.ts" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
def whole(part):
    start = part.find(b"\x47")
    return start >= 0 and all(part[i] == 0x47 for i in range(start, len(part) - 187, 188))
# 16 Mbit/s: the 5 s before the gap give about 10 MB; after it, about 9 s more.
ok = len(data) > 15_000_000 and whole(data[:1 << 20]) and whole(data[-(1 << 20):])
print(f"gap.ts: {len(data)} bytes, {'TS on both sides of the gap' if ok else 'NOT as expected'}")
sys.exit(0 if ok else 1)
PY

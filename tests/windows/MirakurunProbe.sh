#!/usr/bin/env bash
# MirakurunProbe.sh WINERUN LOADER PREFIX BONHOST SIMREG SIMDLL DRIVERDLL FOLDER INSTALL
# The house's tuner server end to end: Mirakurun 3.9 (installed from npm into
# INSTALL once, kept) runs in the foreground on a Unix socket, no TCP port,
# over the Wine prefix PREFIX with two simulated tuners, each tuner's
# command a wrapper script that runs BONHOST (`record --out -`) on a copy of
# DRIVERDLL of its own. 27ch and 16ch replay test-pattern clips, 26ch and
# 28ch are silent. Checked through Mirakurun's HTTP API: a channel's stream,
# one process shared by two clients, tuners freed after the last client,
# the services found, Mirakurun's own scan, and the channels.yml that
# `bonhost scan --write-mirakurun` writes. Exit 77 (skipped) when the npm
# registry cannot be reached; the reason is printed as "skipped: ...".
set -u
winrun=$1 loader=$2 prefix=$3 bonhost=$4 simreg=$5 simdll=$6 dll=$7 folder=$8 install=$9
version=3.9.0-rc.4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
wine() { "$winrun" --loader "$loader" "$prefix" "$@"; }
failed=0
check() { if eval "$2"; then echo "ok    $1"; else echo "FAIL  $1"; failed=1; fi; }
now() { date +%s%N; }
ms_since() { echo $(( ($(now) - $1) / 1000000 )); }

rm -rf "$folder"; mkdir -p "$folder"
sockdir=$(mktemp -d /tmp/mirakurun.XXXXXX)  # a socket path must stay short
sock=$sockdir/mk.sock
mirakurun_pid=
cleanup() {
  [ -n "$mirakurun_pid" ] && { kill -TERM "$mirakurun_pid" 2>/dev/null; wait "$mirakurun_pid" 2>/dev/null; }
  # The tuner commands Mirakurun left, and the server it was told to keep.
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -w >/dev/null 2>&1
  rm -rf "$sockdir"
}
trap cleanup EXIT
die() { echo "FAIL  $*"; exit 1; }

# --- Mirakurun from npm, kept between runs -------------------------------
pkg=$install/node_modules/mirakurun
if ! grep -q "\"version\": \"$version\"" "$pkg/package.json" 2>/dev/null; then
  command -v npm >/dev/null && command -v node >/dev/null || die "node and npm are missing (scripts/bootstrap installs them)"
  mkdir -p "$install"
  npm_opts=(--ignore-scripts --no-audit --no-fund --fetch-retries=1 --fetch-timeout=30000 --loglevel=error)
  if ! (cd "$install" && npm install "${npm_opts[@]}" "mirakurun@$version") >"$folder/npm.log" 2>&1; then
    if ! npm view "${npm_opts[@]}" "mirakurun@$version" version >/dev/null 2>&1; then
      echo "skipped: the npm registry cannot be reached, so Mirakurun $version is not installed"
      tail -n 5 "$folder/npm.log"
      exit 77
    fi
    cat "$folder/npm.log"; die "npm install mirakurun@$version failed"
  fi
fi
echo "Mirakurun $version in $pkg"

# --- the prefix: two tuners, the clips, the DLL copies --------------------
wine "$simreg" register "$(winpath "$simdll")" >/dev/null && wine "$simreg" clear >/dev/null &&
  wine "$simreg" add-tuners 2 >/dev/null && wine "$simreg" live --all >/dev/null ||
  die "simreg could not set the tuners up"
tone=440
for channel in 27ch 16ch; do
  # Service ids of their own, or Mirakurun takes both for one service.
  "$root/scripts/test-clip" "$channel" "$tone" "$folder/clip-$channel.ts" 3 "10${channel%ch}" ||
    die "ffmpeg could not make a clip"
  wine "$simreg" replay "$channel" "$(winpath "$folder/clip-$channel.ts")" >/dev/null || die "simreg replay $channel"
  tone=$((tone + 220))
done
wine "$simreg" silence 26ch 28ch >/dev/null || die "simreg silence"
mapfile -t ini_lines < <(wine "$bonhost" tuners | tr -d '\r' | grep 'INI: TunerFrendlyName=')
[ ${#ini_lines[@]} -eq 2 ] || die "bonhost tuners lists ${#ini_lines[@]} selectable tuners, not 2"
write_ini() {  # write_ini BASE LINE
  local name id
  name=$(echo "$2" | sed -E 's/.*TunerFrendlyName=(.*)  DeviceID=.*/\1/')
  id=$(echo "$2" | sed -E 's/.*DeviceID=([0-9]+).*/\1/')
  cp "$dll" "$folder/$1.dll"
  printf '[FRONTEND]\r\nNetworkName=ISDBT\r\nTunerFrendlyName=%s\r\nDeviceID=%s\r\n' "$name" "$id" >"$folder/$1.ini"
}
write_ini BonDriver_TesselBDA_1 "${ini_lines[0]}"
write_ini BonDriver_TesselBDA_2 "${ini_lines[1]}"
# A third copy for the scan, with a channel file: a row of its own name at
# 27ch's frequency has no tuner-server name and must be left out.
write_ini BonDriver_TesselBDA_scan "${ini_lines[0]}"
printf 'UFH, 16ch, 491143\r\nUFH, 26ch, 551143\r\nUFH, 27ch, 557143\r\nUFH, 28ch, 563143\r\nUFH, Local27, 557143\r\n' \
  >"$folder/BonDriver_TesselBDA_scan.channels.txt"

# --- bonhost scan --write-mirakurun (the tuners are still free) -----------
wine "$bonhost" scan --driver "$(winpath "$folder/BonDriver_TesselBDA_scan.dll")" --json "$(winpath "$folder/scan.json")" \
  --write-mirakurun "$(winpath "$folder/scanned-channels.yml")" >"$folder/scan.out" 2>"$folder/scan.err"
scan_status=$?
tr -d '\r' <"$folder/scan.out" | grep -E 'locked|wrote'
check "bonhost scan --write-mirakurun (exit $scan_status) lists Local27 as left out on stderr" \
  '[ $scan_status -eq 0 ] && grep -q "UFH Local27 left out" "$folder/scan.err"'
# The service names the scan read, per channel, to hold Mirakurun's to.
service_of() { python3 -c 'import json,sys; print([r["services"][0] for r in json.load(open(sys.argv[1])) if r["channelName"]==sys.argv[2]][0])' "$folder/scan.json" "$1"; }
name27=$(service_of 27ch) name16=$(service_of 16ch)
echo "services: 27ch '$name27', 16ch '$name16'"

# --- Mirakurun's configuration and start ----------------------------------
for n in 1 2; do
  cat >"$folder/tuner-$n.sh" <<EOF
#!/bin/sh
# Mirakurun's tuner command: bonhost records the channel Mirakurun names to stdout.
export WINEPREFIX='$prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
exec '$loader' '$bonhost' record --driver '$(winpath "$folder/BonDriver_TesselBDA_$n.dll")' --channel "\$1" --out -
EOF
  chmod +x "$folder/tuner-$n.sh"
done
cat >"$folder/server.yml" <<EOF
path: $sock
port: ~
disableIPv6: true
disableEITParsing: true
disableWebUI: true
logLevel: 3
EOF
cat >"$folder/tuners.yml" <<EOF
- name: tessel-1
  types: [GR]
  command: $folder/tuner-1.sh <channel>
  decoder: ~
  isDisabled: false
- name: tessel-2
  types: [GR]
  command: $folder/tuner-2.sh <channel>
  decoder: ~
  isDisabled: false
EOF
printf -- "- name: T27\n  type: GR\n  channel: '27'\n- name: T16\n  type: GR\n  channel: '16'\n" >"$folder/channels.yml"
# Run in a subshell: it execs, so the subshell's pid is Mirakurun's.
mirakurun_env() {
  exec env SERVER_CONFIG_PATH="$folder/server.yml" TUNERS_CONFIG_PATH="$folder/tuners.yml" \
    CHANNELS_CONFIG_PATH="${CHANNELS:-$folder/channels.yml}" SERVICES_DB_PATH="$folder/services.json" \
    PROGRAMS_DB_PATH="$folder/programs.json" LOGO_DATA_DIR_PATH="$folder/logo" "$@"
}
# Wine's server first, kept running, and its services started apart from
# Mirakurun: started by the first tuner command they would hold its stdout.
WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w >/dev/null 2>&1
WINEPREFIX=$prefix /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
WINEPREFIX=$prefix WINEDEBUG=-all "$loader" wineboot </dev/null >/dev/null 2>&1
started=$(now)
(cd "$pkg" && mirakurun_env node lib/server.js) </dev/null >"$folder/mirakurun.log" 2>&1 &
mirakurun_pid=$!
for _ in $(seq 300); do grep -q 'listening on http+unix' "$folder/mirakurun.log" && break; sleep 0.1; done
grep -q 'listening on http+unix' "$folder/mirakurun.log" || { tail -n 30 "$folder/mirakurun.log"; die "Mirakurun did not start"; }
echo "Mirakurun listening after $(ms_since "$started") ms"
api() { curl -s --unix-socket "$sock" "http://mirakurun/api/$1"; }
# json CODE [ARGS...]: CODE runs with the JSON of stdin as d, ARGS in sys.argv[1:].
json() { local code=$1; shift; python3 -c "import json,sys; d=json.load(sys.stdin); $code" "$@"; }
# The checks' readings of Mirakurun's answers.
services_named() {  # services_named FILE NAME...: exactly these service names
  python3 - "$@" <<'PY'
import json, sys
import unicodedata
# Mirakurun reads ARIB's alphanumerics as full-width forms, bonhost as ASCII.
plain = lambda name: unicodedata.normalize("NFKC", name)
names = sorted(plain(s["name"]) for s in json.load(open(sys.argv[1])))
sys.exit(0 if names == sorted(plain(n) for n in sys.argv[2:]) else 1)
PY
}
tuners_shared() {  # 16ch's one process with 2 users, 27ch's on the other tuner
  python3 - "$1" <<'PY'
import json, sys
by = {t["command"].split()[-1]: t for t in json.load(open(sys.argv[1])) if t["command"]}
ok = set(by) == {"16", "27"} and len(by["16"]["users"]) == 2 and len(by["27"]["users"]) == 1
ok = ok and by["16"]["pid"] and by["27"]["pid"] and by["16"]["index"] != by["27"]["index"]
sys.exit(0 if ok else 1)
PY
}
scan_found_27() {  # scan_found_27 FILE NAME: 27 with NAME, nothing on 26 and 28
  python3 - "$1" "$2" <<'PY'
import json, re, sys, unicodedata
text = open(sys.argv[1], encoding="utf-8").read()
found = {}
for block in text.split("channel: ")[1:]:
    found[block.split('"')[1]] = [json.loads(m) for m in re.findall(r"^-> (\{.*\})$", block, re.M)]
ok = set(found) == {"26", "27", "28"} and not found["26"] and not found["28"]
plain = lambda name: unicodedata.normalize("NFKC", name)  # see services_named
ok = ok and [(e["type"], e["channel"], plain(e["name"])) for e in found["27"]] == [("GR", "27", plain(sys.argv[2]))]
sys.exit(0 if ok and "channel scan has been completed" in text else 1)
PY
}
yml_holds_16_and_27() {  # yml_holds_16_and_27 FILE NAME27 NAME16, read by Mirakurun's YAML reader
  (cd "$pkg" && node -e '
const c = require("js-yaml").load(require("fs").readFileSync(process.argv[1], "utf8"));
const got = JSON.stringify(c.map(e => [e.type, e.channel, e.name, "serviceId" in e]));
const want = JSON.stringify([["GR", "16", process.argv[3], false], ["GR", "27", process.argv[2], false]]);
process.exit(got === want ? 0 : 1);' "$@")
}
# Whole packets from the first byte (a stream cut by time may end mid-packet).
whole_ts() {
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
ok = len(data) >= int(sys.argv[2]) and all(data[i] == 0x47 for i in range(0, len(data) - 187, 188))
sys.exit(0 if ok else 1)
PY
}
# stream PATH SECONDS OUT: a client; its time to the first byte in OUT.first
stream() {
  curl -s --unix-socket "$sock" -m "$2" -o "$3" -w '%{time_starttransfer}' "http://mirakurun/api/$1" >"$3.first"
}
tuners_free() { api tuners | json 'sys.exit(0 if all(t["pid"] is None for t in d) else 1)'; }
wait_free() {  # wait_free SECONDS: true once both tuners are free
  local limit=$(( $1 * 10 ))
  for _ in $(seq "$limit"); do tuners_free && return 0; sleep 0.1; done
  return 1
}

# --- the services found at start-up ---------------------------------------
for _ in $(seq 120); do
  [ "$(api services | json 'print(len(d))' 2>/dev/null)" = 2 ] && break; sleep 0.5
done
api services >"$folder/services.json.api"
check "GET /api/services lists the two replayed services with the scan's names" \
  'services_named "$folder/services.json.api" "$name27" "$name16"'
wait_free 20 || echo "note: the tuners were still busy after the start-up's service search"

# --- one channel's stream --------------------------------------------------
stream "channels/GR/27/stream?decode=0" 8 "$folder/gr27.ts"
echo "GR/27: $(stat -c %s "$folder/gr27.ts") bytes in 8 s, first byte after $(cat "$folder/gr27.ts.first") s"
ffprobe -v error -show_streams "$folder/gr27.ts" >"$folder/gr27.probe" 2>&1
check "GET /api/channels/GR/27/stream?decode=0: 8 s of whole TS packets, MPEG-2 video and AAC" \
  'whole_ts "$folder/gr27.ts" 2000000 && grep -q "^codec_name=mpeg2video" "$folder/gr27.probe" && grep -q "^codec_name=aac" "$folder/gr27.probe"'

# --- two clients on 16ch, one on 27ch --------------------------------------
wait_free 15
stream "channels/GR/16/stream?decode=0" 12 "$folder/a16.ts" & a=$!
stream "channels/GR/16/stream?decode=0" 12 "$folder/b16.ts" & b=$!
stream "channels/GR/27/stream?decode=0" 12 "$folder/c27.ts" & c=$!
sleep 7
api tuners >"$folder/tuners.json.api"
check "GET /api/tuners: 16ch's one process has 2 users, 27ch is on the other tuner" \
  'tuners_shared "$folder/tuners.json.api"'
wait $a $b $c
left=$(now)
check "each of the three clients got TS" \
  'whole_ts "$folder/a16.ts" 1000000 && whole_ts "$folder/b16.ts" 1000000 && whole_ts "$folder/c27.ts" 1000000'
wait_free 10; freed=$?
check "both tuners are free within 10 s after the last client left ($(ms_since "$left") ms)" '[ $freed -eq 0 ]'
stream "channels/GR/16/stream?decode=0" 4 "$folder/again16.ts"
check "a new client then gets TS again (first byte after $(cat "$folder/again16.ts.first") s)" \
  'whole_ts "$folder/again16.ts" 500000'

# --- a service's stream -----------------------------------------------------
id=$(json 'print([s["id"] for s in d if s["serviceId"] == 1027][0])' <"$folder/services.json.api" 2>/dev/null)
wait_free 10
stream "services/${id:-none}/stream" 5 "$folder/service.ts"
ffprobe -v error -show_streams "$folder/service.ts" >"$folder/service.probe" 2>&1
check "GET /api/services/$id/stream streams the service (MPEG-2 video)" \
  'whole_ts "$folder/service.ts" 500000 && grep -q "^codec_name=mpeg2video" "$folder/service.probe"'

# --- Mirakurun's own channel scan -------------------------------------------
wait_free 10
start=$(now)
curl -s --unix-socket "$sock" -m 180 -X PUT \
  "http://mirakurun/api/config/channels/scan?type=GR&minCh=26&maxCh=28&dryRun=true&refresh=true" >"$folder/scan.api"
echo "Mirakurun's scan of 26ch-28ch took $(ms_since "$start") ms"
check "Mirakurun's scan finds the service on 27ch and none on 26ch or 28ch" \
  'scan_found_27 "$folder/scan.api" "$name27"'

kill -TERM "$mirakurun_pid"; wait "$mirakurun_pid"; mirakurun_pid=

# --- the channels.yml bonhost wrote, loaded by Mirakurun ---------------------
(cd "$pkg" && CHANNELS=$folder/scanned-channels.yml SETUP=true mirakurun_env node lib/server.js) \
  </dev/null >"$folder/setup.log" 2>&1
setup_status=$?
check "Mirakurun loads bonhost's channels.yml (SETUP=true exit $setup_status, no error logged)" \
  '[ $setup_status -eq 0 ] && ! grep -Eiq "\[(error|fatal)\]" "$folder/setup.log"'
check "... and it holds 27ch and 16ch by their service names, without serviceId" \
  'yml_holds_16_and_27 "$folder/scanned-channels.yml" "$name27" "$name16"'
[ $failed -eq 0 ] || { echo "--- Mirakurun's log (end)"; tail -n 40 "$folder/mirakurun.log"; }
exit $failed

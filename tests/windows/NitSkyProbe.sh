#!/bin/sh
# NitSkyProbe.sh WINERUN LOADER PREFIX BONHOST SIMREG SIMDLL DRIVERDLL FOLDER TSV SAMPLE
# The satellites moved on, seen through bonhost.exe and simreg.exe as a user
# runs them (NetworkName=ISDBS, the built-in channels):
# - simreg sky 2025: a scan locks 39 of the 42 built-in rows and says the
#   NITs announce 11 streams the list lacks; scan --nit --write-channels
#   writes the 50 streams of TSV (the 2025 data), named as the built-in
#   plan names its rows, and lists the three rows it left out; with that
#   file beside the DLL a scan locks 50 of 50;
# - simreg sky built-in: scan --nit writes the built-in 42 rows back (the
#   satellite lines of SAMPLE, the sample channel file);
# - a write that fails halfway (the file size limit) leaves the file that
#   was there as it was, and bonhost says so.
set -u
run="$1 --loader $2 $3"; bonhost=$4; simreg=$5; simdll=$6; dll=$7; folder=$8; tsv=$9; sample=${10}
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
driver=$(winpath "$folder/BonDriver_TesselBDA.dll")
fail() { echo "FAIL: $*"; $run "$simreg" sky built-in >/dev/null 2>&1; exit 1; }
scan() { $run "$bonhost" scan --driver "$driver" --dwell 400 "$@" 2>"$folder/stderr.log" | tr -d '\r'; }
rows() { grep -v '^#' "$1" | tr -d '\r' | sed 's/ *, */,/g' | grep .; }

rm -rf "$folder"; mkdir -p "$folder"
cp "$dll" "$folder/BonDriver_TesselBDA.dll"
printf '[FRONTEND]\r\nNetworkName=ISDBS\r\nTunerFrendlyName=Tessel Sim ISDB Tuner\r\nDeviceID=0\r\n' \
  >"$folder/BonDriver_TesselBDA.ini"
$run "$simreg" register "$(winpath "$simdll")" >/dev/null && $run "$simreg" clear >/dev/null &&
  $run "$simreg" add-tuners 1 >/dev/null && $run "$simreg" live --all >/dev/null &&
  $run "$simreg" sky 2025 >/dev/null || fail "simreg could not set the tuner up"
[ "$($run "$simreg" sky | tr -d '\r')" = "sky	2025" ] || fail "simreg sky does not say 2025"

# The built-in list on today's sky.
scan >"$folder/plain.log"
grep -x '39 of 42 channels locked' "$folder/plain.log" || fail "the built-in list does not lock 39 of 42"
grep '^NIT: 0 of the 39 locked rows are not in their network.s NIT, and the NITs announce 11 transport streams' \
  "$folder/plain.log" || fail "no NIT comparison after the table"

# The list from the NIT: the 2025 data's 50 streams, in the built-in names.
scan --nit --write-channels "$(winpath "$folder/nit-2025.txt")" >"$folder/nit.log" || fail "scan --nit failed"
grep -E '^BS BS1/TS0: NIT of network 4|^CS110 ND2: NIT of network 6|^CS110 ND4: NIT of network 7' "$folder/nit.log"
[ "$(grep -c 'NIT of network' "$folder/nit.log")" = 3 ] || fail "scan --nit did not read the three networks"
cat "$folder/stderr.log"
[ "$(grep -c 'left out: BS3/TS1\|left out: BS23/TS1\|left out: BS23/TS2' "$folder/stderr.log")" = 3 ] ||
  fail "the three rows the sky lost are not listed as left out"
awk -F'\t' '!/^#/ && NF == 4 {
    name = $1
    if (name ~ /^BS/) { space = "BS"; name = "BS" (substr(name, 3, 2) + 0) "/TS" substr(name, 6) }
    else { space = "CS110"; name = "ND" substr(name, 3) }
    print space "," name "," $3 "," $4 }' "$tsv" >"$folder/want-2025.txt"
rows "$folder/nit-2025.txt" >"$folder/got-2025.txt"
[ "$(wc -l <"$folder/want-2025.txt")" = 50 ] || fail "the 2025 data do not hold 50 rows"
cmp -s "$folder/want-2025.txt" "$folder/got-2025.txt" ||
  { diff "$folder/want-2025.txt" "$folder/got-2025.txt"; fail "the file written is not the 2025 data"; }
echo "nit-2025.txt: the 50 rows of the 2025 data"

# That file beside the DLL: everything locks.
cp "$folder/nit-2025.txt" "$folder/BonDriver_TesselBDA.channels.txt"
scan >"$folder/plain-2025.log"
grep -x '50 of 50 channels locked' "$folder/plain-2025.log" || fail "the written file does not lock 50 of 50"
grep -q '^NIT: every locked row is in its network.s NIT' "$folder/plain-2025.log" || fail "the NIT and the file differ"

# A write that fails halfway (a file size limit of one block) changes
# nothing: the channel file in use stays whole.
cp "$folder/BonDriver_TesselBDA.channels.txt" "$folder/before.txt"
printf 'BS, BS1/TS0, 11727480, 0x4010\r\n' >"$folder/small.txt"
cp "$folder/small.txt" "$folder/limited.txt"
$run "$simreg" list >/dev/null  # the prefix's server runs outside the limit
{ sh -c "ulimit -f 1; trap '' XFSZ; exec $run \"$bonhost\" scan --driver \"$driver\" --dwell 400 --nit \
  --write-channels \"$(winpath "$folder/limited.txt")\"" 2>&1; echo "exit $?"; } | tr -d '\r' >"$folder/limited.log"
grep 'cannot write' "$folder/limited.log" || fail "no word of the failed write"
grep -qx 'exit 7' "$folder/limited.log" || fail "a failed write exited with $(grep '^exit' "$folder/limited.log"), not 7"
cmp -s "$folder/small.txt" "$folder/limited.txt" || fail "the failed write changed the file (now $(wc -c <"$folder/limited.txt") bytes)"
[ -z "$(ls "$folder" | grep '\.part-')" ] || fail "the failed write left its temporary file"
echo "limited.txt: a write cut short by the size limit left the file as it was"

# Back to the built-in sky: the NIT gives the built-in rows back.
rm -f "$folder/BonDriver_TesselBDA.channels.txt"
$run "$simreg" sky built-in >/dev/null || fail "simreg sky built-in failed"
scan --nit --write-channels "$(winpath "$folder/nit-built-in.txt")" >"$folder/nit-built-in.log" ||
  fail "scan --nit on the built-in sky failed"
grep -E '^# (BS|CS110),' "$sample" | sed 's/^# //; s/ *, */,/g' >"$folder/want-built-in.txt"
rows "$folder/nit-built-in.txt" >"$folder/got-built-in.txt"
[ "$(wc -l <"$folder/want-built-in.txt")" = 42 ] || fail "the sample's satellite lines are not 42"
cmp -s "$folder/want-built-in.txt" "$folder/got-built-in.txt" ||
  { diff "$folder/want-built-in.txt" "$folder/got-built-in.txt"; fail "the built-in sky did not give the built-in rows"; }
[ ! -s "$folder/stderr.log" ] || { cat "$folder/stderr.log"; fail "notes where nothing changed"; }
echo "nit-built-in.txt: the built-in 42 rows"

#!/usr/bin/env bash
# scripts/bootstrap's decisions with stand-ins for apt-get, dpkg, dpkg-query
# and sudo on PATH: no real package is touched. Each case sets what the
# stand-ins answer and checks the exit status, the calls apt-get got and the
# lines the user reads.
set -u
here=$(cd "$(dirname "$0")" && pwd)
bootstrap=$here/../../scripts/bootstrap
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

mkdir -p "$work/bin"
# dpkg-query: every package is installed but those listed in $STUB_MISSING.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
pkg=${!#}
for m in $STUB_MISSING; do [ "$m" = "$pkg" ] && { echo -n "unknown ok not-installed"; exit 1; }; done
echo -n "install ok installed"
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STUB_CALLS"
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
STUB
# apt-get: "update" fails the first $STUB_UPDATE_FAILS times (-1: always);
# "install" fails while $STUB_INSTALL is "unpaired" or "broken", except
# with -t when $STUB_PINNED_WORKS is 1.
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_CALLS"
case " $* " in
  *" update "*)
    n=$(grep -c 'apt-get update' "$STUB_CALLS")
    if [ "$STUB_UPDATE_FAILS" = -1 ] || [ "$n" -le "$STUB_UPDATE_FAILS" ]; then
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
      exit 100
    fi
    exit 0 ;;
  *" install "*)
    if [[ " $* " == *" -t "* ]] && [ "${STUB_PINNED_WORKS:-0}" = 1 ]; then exit 0; fi
    case $STUB_INSTALL in
      unpaired)
        echo "The following packages have unmet dependencies:"
        echo " libcurl4:i386 : Depends: libssl3:i386 (>= 3.0.0) but it is not going to be installed"
        echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages." >&2
        exit 100 ;;
      broken)
        echo "E: Unable to locate package frobnicate" >&2
        exit 100 ;;
    esac
    exit 0 ;;
esac
exit 0
STUB
printf '#!/usr/bin/env bash\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

# run NAME [VAR=value...]: runs the bootstrap with the stand-ins; leaves
# $status, $out (stdout and stderr) and $calls. The caller's own bootstrap
# pinning (a CI machine allows it) must not leak into a case.
run() {
  local name=$1; shift
  : >"$work/calls"
  out=$(env -u BOOTSTRAP_PIN_RELEASE PATH="$work/bin:$PATH" STUB_CALLS="$work/calls" STUB_MISSING="wine32:i386 ffmpeg" \
        STUB_UPDATE_FAILS=0 STUB_INSTALL=ok BOOTSTRAP_RETRY_PAUSE=0 "$@" bash "$bootstrap" 2>&1)
  status=$?
  calls=$(cat "$work/calls")
  current=$name
}
check() {  # check DESCRIPTION CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok   $current: $what"; else
    echo "FAIL $current: $what"; echo "$out" | sed 's/^/     | /'; failures=$((failures + 1)); fi
}
updates() { grep -c 'apt-get update' <<<"$calls"; }
has() { grep -q -- "$1" <<<"$out"; }
lacks() { ! grep -q -- "$1" <<<"$out"; }
installs_pinned() { grep 'apt-get install' <<<"$calls" | grep -q -- ' -t '; }
last_line() { tail -n1 <<<"$out"; }

run "update fails twice, then works" STUB_UPDATE_FAILS=2
check "exit 0" test $status -eq 0
check "three updates" test "$(updates)" -eq 3
check "no warning once it worked" lacks "warning"
check "the failed attempts are said" has "attempt 2 of 3"

run "update always fails, install works" STUB_UPDATE_FAILS=-1
check "exit 0" test $status -eq 0
check "tried three times" test "$(updates)" -eq 3
check "warns that it goes on with the lists it has" has "warning: apt-get update kept failing"
check "installed the missing packages" grep -q 'apt-get install.*wine32:i386 ffmpeg' <<<"$calls"

run "32-bit packages do not pair" STUB_INSTALL=unpaired
check "exit non-zero" test $status -ne 0
check "one line names the packages" bash -c '[[ "$0" == "bootstrap: could not install wine32:i386 ffmpeg: "* ]]' "$(last_line)"
check "with apt's own error" bash -c '[[ "$0" == *"libcurl4:i386 : Depends: libssl3:i386"* ]]' "$(last_line)"
check "and the way out" bash -c '[[ "$0" == *"wait for the mirror"*"-t bookworm"*"downgrades"* ]]' "$(last_line)"
check "never downgrades by itself" bash -c '! grep "apt-get install" <<<"$0" | grep -q -- " -t "' "$calls"

run "32-bit packages do not pair, pinning allowed" STUB_INSTALL=unpaired STUB_PINNED_WORKS=1 BOOTSTRAP_PIN_RELEASE=1
check "exit 0" test $status -eq 0
check "pinned to the release when asked" installs_pinned

run "install fails for another reason" STUB_INSTALL=broken
check "exit non-zero" test $status -ne 0
check "names the packages and apt's error" bash -c '[[ "$0" == "bootstrap: could not install wine32:i386 ffmpeg: E: Unable to locate package frobnicate"* ]]' "$(last_line)"
check "no pairing advice for it" bash -c '[[ "$0" != *"-t bookworm"* ]]' "$(last_line)"

run "nothing missing" STUB_MISSING=""
check "exit 0" test $status -eq 0
check "apt is not asked" test -z "$(grep apt-get <<<"$calls")"

[ $failures -eq 0 ] && echo "bootstrap logic: all cases pass" || echo "bootstrap logic: $failures checks failed"
[ $failures -eq 0 ]

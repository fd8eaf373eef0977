#!/usr/bin/env bash
# Runs a Windows program under wine:
#   wine-run.sh [--prefix DIR] [--display :N] PROGRAM [ARG...]
#
# The build's own wine prefix DIR is made on first use (never ~/.wine). Each
# run gets a fresh virtual X display (Xvfb), or uses the display given with
# --display (to take screenshots of it), and stops its wineserver when the
# program has ended, so nothing stays behind. Runs that share a prefix take
# turns. The program's exit code is the script's.
set -euo pipefail

prefix=""
display=""
while [ $# -ge 2 ]; do
  case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --display) display=$2; shift 2 ;;
    *) break ;;
  esac
done
[ -n "$prefix" ] || prefix="${TOOLKIT_WINE_PREFIX:-$PWD/wine-prefix}"
prefix=$(realpath -m "$prefix")  # wine takes absolute prefixes only
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--prefix DIR] [--display :N] PROGRAM [ARG...]" >&2; exit 2; }

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9

# Wine converts file names with the locale's character set: without a UTF-8
# locale, names outside ASCII cannot be made.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *UTF-8* | *utf8* | *UTF8* | *utf-8*) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No prompts for the .NET and HTML engines while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="

displayfile=$(mktemp)
xvfb_pid=""
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" >/dev/null 2>&1 || true
  rm -f "$displayfile"
}
trap cleanup EXIT

if [ -n "$display" ]; then
  export DISPLAY="$display"
else
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$displayfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 200); do
    [ -s "$displayfile" ] && break
    sleep 0.05
  done
  [ -s "$displayfile" ] || { echo "wine-run.sh: Xvfb did not start" >&2; exit 125; }
  export DISPLAY=":$(tr -d '[:space:]' <"$displayfile")"
fi

if [ ! -f "$prefix/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
fi

set +e
"$wine" "$@"
rc=$?
set -e
exit $rc

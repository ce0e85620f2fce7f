#!/bin/sh
# zip_plays.sh BUILD DRIVER OBJDUMP: makes the release zip from the Windows
# build tree BUILD, checks that its binaries carry no debugging information,
# unpacks it into a new folder, makes a Wine prefix that holds nothing else,
# starts lorvane.exe from the unpacked folder with a sound device that keeps
# every sample, and lets DRIVER log in, play and check what was heard.
set -eu
build=$1 driver=$2 objdump=$3
work=$(mktemp -d "$build/package-test-XXXXXX")
# A user with nothing else: Wine links a new prefix's Music folder to $HOME,
# which the embedded account me serves, so HOME is a new, empty folder too.
export HOME="$work/home"
mkdir "$HOME"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER 2>/dev/null || true
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "zip_plays: $*" >&2; exit 1; }

(cd "$build" && cpack --config CPackConfig.cmake -B "$work/zip" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
zip=$(ls "$work"/zip/*.zip) || fail "no zip made"
mkdir "$work/user"
(cd "$work/user" && unzip -q "$zip")
app=$(dirname "$(ls "$work"/user/*/lorvane.exe "$work"/user/lorvane.exe 2>/dev/null | head -n 1)")
[ -f "$app/lorvane.exe" ] && [ -f "$app/libspotify.dll" ] || fail "the zip lacks lorvane.exe or libspotify.dll"
for binary in "$app/lorvane.exe" "$app/libspotify.dll"; do
  if "$objdump" -h "$binary" | grep -q '\.debug_'; then
    fail "$(basename "$binary") carries debugging information"
  fi
done

wineboot -i >/dev/null 2>&1 || fail "wineboot failed"
"$(dirname "$0")/../../scripts/desktop-sound" alsa "$work/asound.conf" unpaced "$work/capture.raw"
export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$work/asound.conf"
(cd "$app" && exec wine lorvane.exe >"$work/program.log" 2>&1) &
program=$!
status=0
wine "$driver" "$(winepath -w "$work/capture.raw")" || status=$?
for _ in $(seq 150); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$program" 2>/dev/null; then
  kill "$program" 2>/dev/null || true
  fail "the program did not end after its window was closed"
fi
wait "$program" || fail "the program ended with status $? ($(tail -n 3 "$work/program.log"))"
[ "$status" -eq 0 ] || fail "the driver failed"
echo "zip_plays: the unpacked program played the demo's first track"

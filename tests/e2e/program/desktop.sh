#!/bin/sh
# The end-to-end suite's Unix side, started through Wine (start /unix, which
# does not wait for it). WORK is the program's working folder, where ALSA
# reads asound.conf; DIR, a short path, is a private sound server's.
#   desktop.sh sound-start WORK DIR  starts the sound server (PulseAudio),
#     whose null sink takes samples at the pace of real time, then writes an
#     asound.conf whose default device plays into it and keeps every sample
#     written in WORK/capture.raw
#   desktop.sh no-sound WORK         writes one whose card does not exist
#   desktop.sh sound-stop '' DIR     stops the server and removes DIR
#   desktop.sh activate XID          asks the window manager to focus the X
#     window XID (decimal), as a user's click on it would
#   desktop.sh wait-focus FILE [XID] creates FILE once the display's focus is
#     on a window of lorvane.exe, or on the X window XID (decimal) (up to 15 s)
#   desktop.sh run-program WORK EXE  runs EXE under Wine in WORK, its standard
#     error kept in WORK/wine-stderr.txt; its exit status then goes to
#     WORK/exit-status (128 + the signal when the Wine process died of one)
sound="$(dirname "$0")/../../../scripts/desktop-sound"
case "$1" in
sound-start)
  "$sound" start "$3" && "$sound" alsa "$2/asound.conf" "paced:$3" "$2/capture.raw"
  ;;
no-sound)
  "$sound" alsa "$2/asound.conf" none
  ;;
sound-stop)
  "$sound" stop "$3"
  ;;
run-program)
  cd "$2" || exit 1
  wine "$3" >/dev/null 2>wine-stderr.txt </dev/null
  echo $? >exit-status.new && mv exit-status.new exit-status
  ;;
activate)
  xdotool windowactivate --sync "$2" >/dev/null 2>&1
  ;;
wait-focus)
  for _ in $(seq 300); do
    w=$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //')
    if [ -n "$3" ]; then
      [ "$(printf '%d' "$w" 2>/dev/null)" = "$3" ] && exec touch "$2"
    else
      xprop -id "$w" WM_CLASS 2>/dev/null | grep -q lorvane.exe && exec touch "$2"
    fi
    sleep 0.05
  done
  ;;
esac

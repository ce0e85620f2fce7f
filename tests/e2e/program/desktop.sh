#!/bin/sh
# The end-to-end suite's Unix side, run through Wine's start /unix:
#   desktop.sh sound-start DIR  a private sound server (PulseAudio) whose null
#                               sink takes samples at the pace of real time;
#                               its socket and pid file in DIR (a short path)
#   desktop.sh sound-stop DIR   stops it and removes DIR
#   desktop.sh wait-focus FILE  creates FILE once the display's focus is on a
#                               window of lorvane.exe (up to 15 s)
[ "$1" = wait-focus ] || export XDG_RUNTIME_DIR="$2" PULSE_RUNTIME_PATH="$2" HOME="$2"
case "$1" in
sound-start)
  mkdir -p "$2"
  exec pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes \
    --log-target=file:"$2/log" \
    --load="module-null-sink sink_name=cap rate=44100 format=s16le channels=2" \
    --load="module-native-protocol-unix socket=$2/native auth-anonymous=1" \
    >/dev/null 2>&1 </dev/null
  ;;
sound-stop)
  pulseaudio -k >/dev/null 2>&1
  sleep 0.2
  rm -rf "$2"
  ;;
wait-focus)
  for _ in $(seq 300); do
    w=$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //')
    xprop -id "$w" WM_CLASS 2>/dev/null | grep -q lorvane.exe && exec touch "$2"
    sleep 0.05
  done
  ;;
esac

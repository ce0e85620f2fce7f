#!/bin/sh
# The end-to-end suite's Unix side, started through Wine (start /unix, which
# does not wait for it):
#   desktop.sh sound-start DIR WORK  starts a private sound server (PulseAudio)
#     whose null sink takes samples at the pace of real time, its socket in
#     DIR (a short path), then writes WORK/asound.conf: the program's default
#     device plays into it, and ALSA's file plugin keeps every sample written
#     in WORK/capture.raw
#   desktop.sh sound-stop DIR        stops it and removes DIR
#   desktop.sh wait-focus FILE       creates FILE once the display's focus is
#     on a window of lorvane.exe (up to 15 s)
[ "$1" = wait-focus ] || export XDG_RUNTIME_DIR="$2" PULSE_RUNTIME_PATH="$2" HOME="$2"
case "$1" in
sound-start)
  mkdir -p "$2"
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes --log-target=file:"$2/log" \
    --load="module-null-sink sink_name=cap rate=44100 format=s16le channels=2" \
    --load="module-native-protocol-unix socket=$2/native auth-anonymous=1" \
    >/dev/null 2>&1 </dev/null || exit 1
  server="server \"unix:$2/native\" }"
  cat >"$3/asound.new" <<ASOUND
pcm.!default { type plug slave.pcm "capture_file" }
pcm.capture_file { type file slave.pcm "paced" file "$3/capture.raw" format "raw" }
pcm.paced { type pulse $server
ctl.!default { type pulse $server
ASOUND
  mv "$3/asound.new" "$3/asound.conf"
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

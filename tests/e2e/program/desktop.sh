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
#   desktop.sh wait-focus FILE       creates FILE once the display's focus is
#     on a window of lorvane.exe (up to 15 s)
[ -n "$3" ] && export XDG_RUNTIME_DIR="$3" PULSE_RUNTIME_PATH="$3" HOME="$3"
case "$1" in
sound-start)
  mkdir -p "$3"
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes --log-target=file:"$3/log" \
    --load="module-null-sink sink_name=cap rate=44100 format=s16le channels=2" \
    --load="module-native-protocol-unix socket=$3/native auth-anonymous=1" \
    >/dev/null 2>&1 </dev/null || exit 1
  server="server \"unix:$3/native\" }"
  cat >"$2/asound.new" <<ASOUND
pcm.!default { type plug slave.pcm "capture_file" }
pcm.capture_file { type file slave.pcm "paced" file "$2/capture.raw" format "raw" }
pcm.paced { type pulse $server
ctl.!default { type pulse $server
ASOUND
  mv "$2/asound.new" "$2/asound.conf"
  ;;
no-sound)
  printf 'pcm.!default { type hw card 97 device 0 }\nctl.!default { type hw card 97 }\n' \
    >"$2/asound.new" && mv "$2/asound.new" "$2/asound.conf"
  ;;
sound-stop)
  pulseaudio -k >/dev/null 2>&1
  sleep 0.2
  rm -rf "$3"
  ;;
wait-focus)
  for _ in $(seq 300); do
    w=$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //')
    xprop -id "$w" WM_CLASS 2>/dev/null | grep -q lorvane.exe && exec touch "$2"
    sleep 0.05
  done
  ;;
esac

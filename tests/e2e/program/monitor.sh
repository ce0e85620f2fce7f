#!/bin/sh
# The sound server's real-time monitor, for the controls' cases, started
# through Wine (start /unix). DIR is the private sound server's folder.
#   monitor.sh start DIR OUT  records the null sink's monitor (what is heard,
#     silence included, at the pace of real time) into OUT
#   monitor.sh stop DIR OUT   stops that recording
case "$1" in
start)
  parec --server="unix:$2/native" -d cap.monitor --format=s16le --rate=44100 --channels=2 \
    --raw >"$3" 2>/dev/null </dev/null &
  echo $! >"$3.pid"
  ;;
stop)
  [ -s "$3.pid" ] && kill "$(cat "$3.pid")" 2>/dev/null
  rm -f "$3.pid"
  ;;
esac

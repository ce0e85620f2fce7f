#!/usr/bin/env bash
# scaled_run.sh WINE_RUN PREFIX DPI PROGRAM [ARGS...]: runs PROGRAM under Wine
# (WINE_RUN PREFIX, scripts/wine-run) as on a display scaled to DPI (96 is
# 100 %). Each Wine process reads the prefix's LogPixels when it starts: it is
# DPI for the run and restored afterwards, so the run must be alone in the
# prefix (RUN_SERIAL).
set -uo pipefail
wine_run=$1 prefix=$2 dpi=$3
shift 3
key='HKCU\Control Panel\Desktop'
reg() { "$wine_run" "$prefix" reg "$@" >/dev/null 2>&1 </dev/null; }
old=$("$wine_run" "$prefix" reg query "$key" /v LogPixels 2>/dev/null </dev/null |
  tr -d '\r' | awk '$1 == "LogPixels" { print $3 }')
restore() {
  if [ -n "$old" ]; then reg add "$key" /v LogPixels /t REG_DWORD /d $((old)) /f
  else reg delete "$key" /v LogPixels /f; fi
}
trap restore EXIT
reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f || exit 1
"$wine_run" "$prefix" "$@"

#!/bin/sh
# unprivileged.sh PROGRAM [ARGS...]: runs PROGRAM as a user that file
# permissions bind, in a scratch folder of its own. Root ignores them, and
# the test command may run as root: then the program runs as nobody.
# LORVANE_PERMISSIONS_BIND tells the program that they must bind.
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
chmod 777 "$dir"
cd "$dir"
export LORVANE_PERMISSIONS_BIND=1
if [ "$(id -u)" = 0 ]; then
  setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
else
  "$@"
fi

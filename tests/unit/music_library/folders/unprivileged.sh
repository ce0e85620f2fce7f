#!/bin/sh
# unprivileged.sh PROGRAM [ARGS...]: runs PROGRAM as a user that file
# permissions bind, in a scratch folder of its own. Root ignores them, and
# the test command may run as root: then the program runs as nobody, from a
# copy (with the libraries beside it), since the build tree may be closed to
# other users. LORVANE_PERMISSIONS_BIND tells the program that they must bind.
set -eu
program=$1
shift
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
chmod 755 "$dir"
mkdir -m 777 "$dir/work"
cp "$program" "$dir/"
for library in "$(dirname "$program")"/*.so; do
  [ -e "$library" ] && cp "$library" "$dir/"
done
cd "$dir/work"
export LORVANE_PERMISSIONS_BIND=1 LD_LIBRARY_PATH="$dir"
if [ "$(id -u)" = 0 ]; then
  setpriv --reuid=65534 --regid=65534 --clear-groups "$dir/$(basename "$program")" "$@"
else
  "$dir/$(basename "$program")" "$@"
fi

#!/bin/sh
# Runs a test as nobody when started as root, whom permission bits do not stop, so that
# read-only files and folders refuse writes as they do to an operator. The test is copied
# to a folder nobody can reach: the build tree may lie in root's home.
set -eu
if [ "$(id -u)" != 0 ]; then
  exec "$@"
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
chmod 755 "$dir"
cp "$1" "$dir/"
test=$dir/$(basename "$1")
shift
cd "$dir"
setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$test" "$@"

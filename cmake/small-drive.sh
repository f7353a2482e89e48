#!/usr/bin/env bash
# A small tmpfs as drive S: of the build folder's Wine prefix, so that a Windows test can run out
# of room for real. `small-drive.sh up BUILD` mounts it (needs root, as CI has), `down` removes it.
set -euo pipefail
action=$1 build=$2
folder="$build/small-drive"
link="$build/wine-prefix/dosdevices/s:"
case "$action" in
  up)
    mkdir -p "$folder" "$build/wine-prefix/dosdevices"
    mountpoint -q "$folder" || mount -t tmpfs -o size=1m tmpfs "$folder"
    ln -sfn "$folder" "$link"
    ;;
  down)
    rm -f "$link"
    if mountpoint -q "$folder"; then umount -l "$folder"; fi
    ;;
esac

#!/bin/sh
# small_disk.sh mount|unmount <folder>
# A small disk that the end-to-end tests fill for real: a 4 MiB tmpfs on <folder>, writable by
# the user who runs the tests. Mounting needs root: run as root, or through sudo without a
# password (README's test command run by a user with sudo). A run that can do neither fails.
set -eu
action=$1
folder=$2

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif sudo -n true 2>/dev/null; then
    sudo -n "$@"
  else
    echo "small_disk: mounting a tmpfs needs root or sudo without a password" >&2
    exit 1
  fi
}

case $action in
  mount)
    mkdir -p "$folder"
    if mountpoint -q "$folder"; then
      as_root umount "$folder"
    fi
    as_root mount -t tmpfs -o "size=4m,uid=$(id -u),gid=$(id -g),mode=0755" vtf-small-disk \
      "$folder"
    ;;
  unmount)
    if mountpoint -q "$folder"; then
      as_root umount "$folder"
    fi
    ;;
  *)
    echo "small_disk: mount or unmount" >&2
    exit 2
    ;;
esac

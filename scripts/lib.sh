# Shared by the scripts: a private virtual display, and Wine's environment for a prefix.

# Starts Xvfb on a free display number, exports DISPLAY, and stops it when the caller exits.
start_virtual_display() {
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    VTF_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    kill "$VTF_XVFB_PID" 2>/dev/null || true
  done
  echo "could not start a virtual display" >&2
  return 1
}

stop_virtual_display() {
  [ -n "${VTF_XVFB_PID:-}" ] && kill "$VTF_XVFB_PID" 2>/dev/null || true
}

# Ends the Wine server of a prefix, so that nothing outlives the run.
stop_wine() {
  [ -d "$1" ] && WINEPREFIX="$1" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}

# Re-runs the calling script as the user behind sudo, once the packages are installed,
# so that the build tree and the Wine prefix belong to that user.
drop_sudo() {
  if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    exec sudo -u "$SUDO_USER" --preserve-env=DISPLAY,XAUTHORITY,CI,FUZZ_SECONDS \
      VTF_SETUP_DONE=1 "$@"
  fi
}

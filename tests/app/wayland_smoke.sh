#!/usr/bin/env bash
# Runs a test program on a headless weston of its own: private runtime folder, private
# socket, stopped however the test ends. Exit 77 (skipped) only when weston cannot start.
set -u
test_program="$1"
if ! command -v weston >/dev/null 2>&1; then
    echo "SKIP: weston is not installed (scripts/setup.sh installs it)"
    exit 77
fi
runtime=$(mktemp -d /tmp/mv-wayland.XXXXXX)
chmod 700 "$runtime"
weston_pid=
cleanup() {
    if [ -n "$weston_pid" ]; then
        kill "$weston_pid" 2>/dev/null
        wait "$weston_pid" 2>/dev/null
    fi
    rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

export XDG_RUNTIME_DIR="$runtime"
weston --backend=headless-backend.so --socket=wayland-mv --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 1 100); do
    [ -S "$runtime/wayland-mv" ] && break
    kill -0 "$weston_pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -S "$runtime/wayland-mv" ]; then
    echo "SKIP: weston could not start:"
    tail -n 5 "$runtime/weston.log"
    exit 77
fi
# Nothing of the user's desktop: no X display, no session bus.
unset DISPLAY
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/no-bus"
export WAYLAND_DISPLAY=wayland-mv QT_QPA_PLATFORM=wayland
"$test_program"

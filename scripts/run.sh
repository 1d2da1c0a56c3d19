#!/usr/bin/env bash
# Starts Mailvane, or says in one line why it cannot.
set -u
exe="$1"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Mailvane needs a graphical desktop: no display found (DISPLAY is not set)." >&2
    exit 1
fi
exec "$exe"

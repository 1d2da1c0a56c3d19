#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the layout and validates the desktop
# files, then starts the installed program with an empty home folder and waits for it to
# create its settings file there. Usage: check_install.sh <build folder>
set -euo pipefail
build="$1"
work="$(mktemp -d)"
pid=
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/mailvane share/applications/mailvane.desktop share/metainfo/org.example.mailvane.metainfo.xml \
         share/icons/hicolor/scalable/apps/mailvane.svg share/icons/hicolor/48x48/apps/mailvane.png \
         share/icons/hicolor/128x128/apps/mailvane.png share/mailvane/Mailvane.avi share/mailvane/Mailvane.wav; do
    [ -s "$prefix/$f" ] || fail "$f not installed"
done
[ -x "$prefix/bin/mailvane" ] || fail "bin/mailvane is not executable"
grep -q '^Categories=Network;Email;$' "$prefix/share/applications/mailvane.desktop" || fail "desktop entry categories"
grep -q '^Name\[zh_TW\]=' "$prefix/share/applications/mailvane.desktop" || fail "no Traditional Chinese name"
for size in 48 128; do
    if command -v file >/dev/null; then
        file "$prefix/share/icons/hicolor/${size}x${size}/apps/mailvane.png" | grep -q "$size x $size" ||
            fail "the ${size} px icon is not ${size} px"
    fi
done

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/mailvane.desktop" || fail "desktop-file-validate"
else
    echo "SKIP: desktop-file-validate not installed"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix/share/metainfo/org.example.mailvane.metainfo.xml" ||
        fail "appstreamcli validate"
else
    echo "SKIP: appstreamcli not installed"
fi

# The installed program, run by a user with an empty home: its settings go to the user's
# folder, never beside the executable.
home="$work/home"
mkdir -m 0755 "$home"
env -u XDG_CONFIG_HOME HOME="$home" QT_QPA_PLATFORM=offscreen "$prefix/bin/mailvane" >"$work/out.txt" 2>&1 &
pid=$!
ini="$home/.config/mailvane/Mailvane.ini"
for _ in $(seq 1 200); do
    [ -f "$ini" ] && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/out.txt" >&2; fail "the installed program ended early"; }
    sleep 0.1
done
[ -f "$ini" ] || fail "no $ini after 20 s"
[ "$(stat -c %a "$ini")" = 600 ] || fail "settings file mode $(stat -c %a "$ini"), not 600"
[ "$(stat -c %a "$(dirname "$ini")")" = 700 ] || fail "settings folder mode not 700"
[ ! -e "$prefix/bin/Mailvane.ini" ] || fail "a settings file was created beside the installed program"
echo "install layout and settings location OK"

#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, only those missing.
set -euo pipefail
PACKAGES=(
    build-essential cmake ninja-build
    qt6-base-dev qt6-multimedia-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    fonts-wqy-microhei
    libxcb1-dev
    dovecot-pop3d dovecot-imapd poppler-utils
    libgmime-3.0-dev qtkeychain-qt6-dev
    openssl dbus gnome-keyring libsecret-tools
    desktop-file-utils appstream
    xvfb openbox xdotool
    qt6-wayland weston
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
)
missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The dovecot package starts a system instance; tests run their own private one.
systemctl disable --now dovecot >/dev/null 2>&1 || service dovecot stop >/dev/null 2>&1 || true

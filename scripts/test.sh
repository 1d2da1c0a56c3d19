#!/usr/bin/env bash
# Runs every test headless through ctest.
set -euo pipefail
build="$1"
export QT_QPA_PLATFORM=offscreen
export LANG=C.UTF-8
# The program follows the desktop's language; the suite's exact texts are the Chinese ones.
export LANGUAGE=zh_TW
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 600

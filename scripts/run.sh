#!/usr/bin/env bash
# Installs what is missing, builds Zelkora and starts it on the current display.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$ROOT/scripts/deps.sh"
zk_configure_and_build build -DCMAKE_BUILD_TYPE=Release -DZK_BUILD_TESTS=OFF -DZK_BUILD_BENCH=OFF
exec "$ROOT/build/Zelkora/zelkora" "$@"

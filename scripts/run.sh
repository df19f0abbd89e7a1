#!/usr/bin/env bash
# Installs dependencies, builds and starts Corvanta. Without a display, runs it under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" ./build/corvanta "$@"
fi
exec ./build/corvanta "$@"

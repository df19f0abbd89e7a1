#!/usr/bin/env bash
# Installs dependencies, builds the program only (no tests, no benchmarks) and
# starts it. Without a display it runs on a virtual X display (Xvfb) and prints
# how to take a screenshot of it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target corvanta blank_database -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    number=99
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
        number=$((number + 1))
    done
    auth=/tmp/corvanta-xvfb-$number.auth
    echo "No display: Corvanta runs on the virtual display :$number. From another shell:"
    echo "  DISPLAY=:$number XAUTHORITY=$auth xwd -root -silent | convert xwd:- shot.png"
    exec xvfb-run -n "$number" -f "$auth" -s "-screen 0 1280x1024x24" ./build/corvanta "$@"
fi
exec ./build/corvanta "$@"

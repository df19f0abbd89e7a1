#!/usr/bin/env bash
# Installs dependencies, builds, and runs every test; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
cd build
# Widget tests run offscreen (set per test); the locale is fixed for the date formats.
ctest --output-on-failure -j"$(nproc)"
cd ..
# The installed program, its desktop file and its AppStream metainfo.
./scripts/check-install.sh build

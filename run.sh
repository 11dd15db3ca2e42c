#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Vortalis and runs the visualiser
# with the default content. Extra arguments go to the program (for example
# /s for full screen, or --verbose).
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target vortalis vortalis_content vortalis-preview

# The build tree's content directory is the base directory unless the user
# has a VortalisScreensaver folder or sets VORTALIS_BASE_DIR.
exec ./build/app/vortalis "$@"

#!/usr/bin/env bash
# Builds and starts Vantrel. With a display it opens the window (and the
# picture given, if any). Without one it shows the main job on a virtual
# display: opens a sample picture, saves a screenshot, prints what the
# window shows.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target vantrel vantrel_sample >/dev/null

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/vantrel "$@"
fi

picture=${1:-build/bin/sample.jpg}
shot=${VANTREL_SCREENSHOT:-$PWD/vantrel-screenshot.png}
echo "No display: running on a virtual display with $picture" >&2
xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/vantrel --screenshot "$shot" "$picture"
echo "Screenshot: $shot" >&2

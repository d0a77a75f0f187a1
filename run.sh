#!/usr/bin/env bash
# Builds and starts Vantrel. With a display it opens the window (and the
# picture given, if any). Without one it shows the main job on a virtual
# display: opens a picture (the sample the build paints, unless one is
# given), saves a screenshot, prints the status line and the eight captions.
set -euo pipefail

# A picture named relative to where the user stands, before we move.
picture=""
if (($#)); then
  picture=$(realpath -- "$1")
fi
cd "$(dirname "$0")"
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target vantrel vantrel_sample >/dev/null

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/vantrel ${picture:+"$picture"}
fi

picture=${picture:-$PWD/build/bin/sample.jpg}
shot=${VANTREL_SCREENSHOT:-$PWD/vantrel-screenshot.png}
echo "No display: running Vantrel on a virtual display with $picture" >&2
xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/vantrel --screenshot "$shot" "$picture"
echo "Screenshot: $shot" >&2

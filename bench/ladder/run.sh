#!/usr/bin/env bash
# The ladder of one photo, 10..80, written three ways in one hyperfine run:
#   vantrel-ladder --out DIR (with and without scores)
#   a cjpeg loop: djpeg once, then cjpeg -optimize per quality
#   ImageMagick in one process
# then the ratios against the cjpeg loop, in time and in CPU time (the
# latter holds up better when other work shares the cores), and the sizes of
# our rungs against cjpeg's.
#
# Usage: bench/ladder/run.sh [PHOTO]   (default bench/photos/BytheWater.jpg,
#        fetched by bench/fetch-photos.sh)
# BUILD: the build folder holding bin/vantrel-ladder (default build-bench);
# RUNS: timed runs per command (default 10).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD:-$root/build-bench}
runs=${RUNS:-10}
ladder=$build/bin/vantrel-ladder
[ -x "$ladder" ] || { echo "no $ladder: build the target vantrel-ladder (cmake --preset bench)" >&2; exit 1; }
for tool in hyperfine djpeg cjpeg python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
# The real ImageMagick, not a wrapper that may stand in front of it.
magick=/usr/bin/convert
[ -x "$magick" ] || magick=$(command -v convert)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
photo=${1:-$root/bench/photos/BytheWater.jpg}
if [ ! -f "$photo" ]; then
  echo "no photo at $photo (bench/fetch-photos.sh fetches them); using a generated picture" >&2
  photo=$work/generated.jpg
  "$magick" -seed 7 -size 2560x1600 plasma:fractal -blur 0x1 -quality 92 "$photo"
fi
mkdir -p "$work/ladder" "$work/scored" "$work/cjpeg" "$work/magick"

qualities=(10 20 30 40 50 60 70 80)
list=$(IFS=,; echo "${qualities[*]}")
cjpeg_loop="djpeg '$photo' > '$work/src.ppm' && for q in ${qualities[*]}; do cjpeg -quality \$q -optimize -outfile \"$work/cjpeg/q\$q.jpg\" '$work/src.ppm' || exit 1; done"
magick_cmd="'$magick' '$photo' -strip"
for q in "${qualities[@]}"; do
  magick_cmd+=" \\( +clone -quality $q -write '$work/magick/q$q.jpg' +delete \\)"
done
magick_cmd+=" null:"

echo "photo: $photo ($(stat -c %s "$photo") bytes), $(nproc) cores"
hyperfine --warmup 1 --runs "$runs" --export-json "$work/times.json" \
  -n "vantrel-ladder --no-score" "'$ladder' --no-score --qualities $list --out '$work/ladder' --force '$photo'" \
  -n "vantrel-ladder --no-score, 1 thread" "'$ladder' --no-score --threads 1 --qualities $list --out '$work/ladder' --force '$photo'" \
  -n "vantrel-ladder (SSIM, PSNR)" "'$ladder' --qualities $list --out '$work/scored' --force '$photo'" \
  -n "cjpeg loop" "$cjpeg_loop" \
  -n "ImageMagick" "$magick_cmd"

python3 - "$work" "$(basename "$photo" | sed 's/\.[^.]*$//')" "${qualities[@]}" <<'PY'
import json, os, sys
work, stem, qualities = sys.argv[1], sys.argv[2], [int(q) for q in sys.argv[3:]]
results = {r["command"]: r for r in json.load(open(os.path.join(work, "times.json")))["results"]}
base = results["cjpeg loop"]["mean"]
cpu = lambda r: r["user"] + r["system"]
print("\nmean time and CPU time (user + system), and the cjpeg loop's over them (higher is faster):")
for name, r in results.items():
    print(f"  {name:38s} {r['mean']*1000:7.1f} ms ± {r['stddev']*1000:5.1f}  x{base / r['mean']:.2f}"
          f"   CPU {cpu(r)*1000:6.1f} ms  x{cpu(results['cjpeg loop']) / cpu(r):.2f}")
print(f"load average after the run: {open('/proc/loadavg').read().split()[0]} (other work on the machine skews the times)")
print("\nsizes: vantrel-ladder / cjpeg / ImageMagick (bytes), ours against cjpeg")
worst = 0.0
for q in qualities:
    ours = os.path.getsize(os.path.join(work, "ladder", f"{stem}-q{q:02d}.jpg"))
    cj = os.path.getsize(os.path.join(work, "cjpeg", f"q{q}.jpg"))
    im = os.path.getsize(os.path.join(work, "magick", f"q{q}.jpg"))
    diff = (ours - cj) / cj * 100
    worst = max(worst, abs(diff))
    print(f"  q{q:<3d} {ours:9d} {cj:9d} {im:9d}   {diff:+.3f} %")
print(f"largest difference from cjpeg: {worst:.3f} %")
PY

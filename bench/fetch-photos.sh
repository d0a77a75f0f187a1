#!/usr/bin/env bash
# Fetches real photos for the benchmarks: the natural photos among Debian's
# plasma-workspace-wallpapers, at 2560 x 1600 (4 MP), into bench/photos/
# (not committed). Only Debian's own archive is used: apt-get download and
# dpkg -x, no installation.
set -euo pipefail
cd "$(dirname "$0")"
dest=photos
package=plasma-workspace-wallpapers
# The photographs; the package's illustrations and painterly pictures are left out.
photos=(BytheWater ColdRipple ColorfulCups DarkestHour EveningGlow FallenLeaf Grey Kite OneStandsOut Path summer_1am)

if [ -d "$dest" ] && [ "$(find "$dest" -name '*.jpg' | wc -l)" -ge "${#photos[@]}" ]; then
  echo "bench/$dest already holds the photos"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt downloads as its own user when it can write the folder; let it.
chmod 0777 "$work"
(cd "$work" && apt-get download -q "$package")
dpkg -x "$work"/"$package"_*.deb "$work/x"
mkdir -p "$dest"
for name in "${photos[@]}"; do
  src="$work/x/usr/share/wallpapers/$name/contents/images/2560x1600.jpg"
  if [ -f "$src" ]; then
    cp "$src" "$dest/$name.jpg"
  else
    echo "warning: $name is not in this version of $package" >&2
  fi
done
echo "bench/$dest: $(find "$dest" -name '*.jpg' | wc -l) photos of 2560 x 1600"

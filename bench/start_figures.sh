#!/usr/bin/env bash
# Start and size figures of the program, beside feh and nsxiv on the same
# picture, on a private X server:
#   1. instructions from start to quit, headless with an empty root, under
#      callgrind (deterministic): with the font answer kept (every start but
#      the first) and without (the first start);
#   2. milliseconds from start to the first paint of the window (median of
#      RUNS; bench/first_paint.cpp);
#   3. resident and private memory of the idle window (smaps_rollup).
#   bash bench/start_figures.sh [BUILD_DIR] [RUNS]
# BUILD_DIR (default build) must hold korvane-viewer, its window module,
# viewer-sample and viewer-first-paint. feh and nsxiv are installed for the
# figures only.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
viewer_install_packages valgrind xvfb x11-utils feh nsxiv
build=$(realpath "${1:-build}")
runs=${2:-5}
for f in korvane-viewer korvane-viewer-sdl.so viewer-sample viewer-first-paint; do
  [ -e "$build/$f" ] || { echo "missing $build/$f: build it first" >&2; exit 1; }
done

scratch=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$scratch/empty" "$scratch/photo" "$scratch/home"
# The program's settings and cache, and the viewers' own files, stay here.
export HOME=$scratch/home XDG_CACHE_HOME=$scratch/home/.cache XDG_CONFIG_HOME=$scratch/home/.config
picture=$scratch/photo/picture.jpg
"$build/viewer-sample" --width 480 --height 640 --seed 7 "$picture"
viewer=("$build/korvane-viewer" --registry "$scratch/registry.reg")

echo "== instructions, start to quit, headless, empty root (callgrind)"
printf 'quit\n' > "$scratch/quit.txt"
instructions() {
  valgrind --tool=callgrind --callgrind-out-file="$scratch/callgrind.out" \
    "${viewer[@]}" --headless --root "$scratch/empty" --script "$scratch/quit.txt" 2>&1 |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
rm -rf "$XDG_CACHE_HOME"
printf '%-40s %s\n' "first start (no font answer kept)" "$(instructions)"
printf '%-40s %s\n' "every later start" "$(instructions)"

# A display with a black root and room for the 480 x 640 window.
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 720x720x24 -br -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { cat "$scratch/xvfb.log" >&2; exit 1; }
unset WAYLAND_DISPLAY SDL_VIDEODRIVER

echo "== start to first window paint, ms (runs, median)"
printf '%-40s ' "korvane-viewer, the picture"
"$build/viewer-first-paint" --runs "$runs" -- "${viewer[@]}" --root "$scratch/photo" "$picture"
printf '%-40s ' "korvane-viewer, empty root"
"$build/viewer-first-paint" --runs "$runs" -- "${viewer[@]}" --root "$scratch/empty"
printf '%-40s ' "feh $(dpkg-query -W -f='${Version}' feh)"
"$build/viewer-first-paint" --runs "$runs" -- feh "$picture"
printf '%-40s ' "nsxiv $(dpkg-query -W -f='${Version}' nsxiv)"
"$build/viewer-first-paint" --runs "$runs" -- nsxiv "$picture"

echo "== idle window memory, kB (2 s after start)"
printf '%-40s %8s %8s %8s\n' "" Rss Pss Private
memory() {
  local label=$1
  shift
  "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep 2
  awk -v label="$label" '/^Rss:/ {r=$2} /^Pss:/ {p=$2} /^Private_(Clean|Dirty):/ {v+=$2}
    END {printf "%-40s %8d %8d %8d\n", label, r, p, v}' "/proc/$pid/smaps_rollup"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}
memory "korvane-viewer, the picture" "${viewer[@]}" --root "$scratch/photo" "$picture"
memory "korvane-viewer, empty root" "${viewer[@]}" --root "$scratch/empty"
memory "feh" feh "$picture"
memory "nsxiv" nsxiv "$picture"

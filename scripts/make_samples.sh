# Lays out a folder of sample pictures: make_samples BUILD_DIR FOLDER.
# Sourced by scripts/run; uses the viewer-sample tool and the shared corpus.
make_samples() {
  local build=$1 dir=$2 i
  [ -f "$dir/.complete" ] && return 0
  rm -rf "$dir"
  mkdir -p "$dir/Holiday 2026/Beach" "$dir/Holiday 2026/Mountains" "$dir/Tom & Jerry" "$dir/Scans"
  for i in 1 2 3 4 5 6 7 8 9 10 11 12; do
    "$build/viewer-sample" --width $((800 + i * 97)) --height $((600 + i * 41)) --seed "$i" \
      "$dir/Holiday 2026/photo $(printf %02d "$i").jpg" >/dev/null
  done
  "$build/viewer-sample" --width 480 --height 1200 --seed 21 "$dir/Holiday 2026/tall tower.jpg" >/dev/null
  "$build/viewer-sample" --width 2400 --height 600 --progressive --seed 22 \
    "$dir/Holiday 2026/Beach/panorama of the whole bay at sunset.jpg" >/dev/null
  "$build/viewer-sample" --width 640 --height 480 --grey --seed 23 "$dir/Scans/old letter.jpg" >/dev/null
  "$build/viewer-sample" --width 1024 --height 768 --seed 24 "$dir/Tom & Jerry/cat & mouse.jpg" >/dev/null
  for i in 1 2 3; do
    "$build/viewer-sample" --width 1600 --height 1200 --seed $((30 + i)) \
      "$dir/Holiday 2026/Mountains/peak $i.jpg" >/dev/null
  done
  # A few non-JPEG pictures from the shared corpus, when it is there.
  local corpus=../shared/corpus
  if [ -d "$corpus" ]; then
    cp "$(ls "$corpus"/png/*.png 2>/dev/null | head -n 1)" "$dir/Scans/" 2>/dev/null || true
    cp "$(ls "$corpus"/gif/*.gif 2>/dev/null | head -n 1)" "$dir/Scans/" 2>/dev/null || true
  fi
  printf 'broken' > "$dir/Scans/damaged.jpg"
  touch "$dir/.complete"
}

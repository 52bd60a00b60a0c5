#!/usr/bin/env bash
# Makes the screenshots of this folder by running the program for real under a virtual X
# server and driving it with the mouse and keys as a user would:
#   sort-gauge.png       the sort dialog part-way through a tag build on a 1,000,000-note file
#   sort-from-main.png   a sort from the main window's title button on that file: the sort
#                        dialog stands on top, without the focus, while its gauge moves
#   main-marked-rich.png the main window on a rich note that was just marked with Space in
#                        the list (V and R buttons on, the list's mark column shown)
#   disabled-button.png  the sort dialog of a write-protected file: "거품빼기" disabled beside
#                        the enabled "정  렬"
#
# Usage: docs/screenshots/make-screenshots.sh [BUILD_DIR]   (default: build)
# Needs: Xvfb, xdotool, xwininfo and xdpyinfo, ImageMagick (import, convert); openbox when present gives the windows
# their frames. Set ORV_SHOT_DISPLAY to use another display than :99.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=$(cd "$(dirname "$0")" && pwd)
disp=${ORV_SHOT_DISPLAY:-:99}
work=$(mktemp -d)
[ -n "${ORV_SHOT_KEEP:-}" ] && echo "work folder: $work"
pids=()
app=""

cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "${ORV_SHOT_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

for tool in Xvfb xdotool xwininfo xdpyinfo import convert; do
  command -v "$tool" >/dev/null || { echo "make-screenshots: $tool is missing" >&2; exit 1; }
done

Xvfb "$disp" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$disp
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
fi

# A data folder holding the shipped default files.
folder() {
  mkdir -p "$work/$1"
  cp "$build"/share/* "$work/$1/"
  echo "$work/$1"
}

# Starts the program on a folder; MAIN is its main window.
start() {
  (cd "$1" && exec "$build/bin/orvelane") >/dev/null 2>&1 &
  app=$!
  MAIN=$(xdotool search --sync --onlyvisible --pid "$app" --name . | head -1)
  sleep 2  # the first activation and the body font's one-shot timer
}

stop() {
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  app=""
}

# The visible window with this title.
window() { xdotool search --sync --onlyvisible --name "$1" | head -1; }

# Client geometry of a window on the screen: sets X, Y, WIDTH, HEIGHT. (xwininfo, since
# xdotool counts the frame of a reparenting window manager in.)
geometry() {
  local info
  info=$(xwininfo -id "$1")
  X=$(awk '/Absolute upper-left X/ { print $NF }' <<<"$info")
  Y=$(awk '/Absolute upper-left Y/ { print $NF }' <<<"$info")
  WIDTH=$(awk '/^ *Width:/ { print $NF }' <<<"$info")
  HEIGHT=$(awk '/^ *Height:/ { print $NF }' <<<"$info")
}

click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep "${4:-0.5}"; }

# Saves the screen around window $1 (its frame included) as $2, at most ~200 KB.
shot() {
  local raw="$work/raw.png"
  import -window root "$raw"
  save "$raw" "$1" "$2"
}

save() {
  geometry "$2"
  local x=$((X > 4 ? X - 4 : 0)) y=$((Y > 24 ? Y - 24 : 0))
  convert "$1" -crop "$((WIDTH + 8))x$((HEIGHT + 30))+$x+$y" +repage "$out/$3"
  if [ "$(stat -c %s "$out/$3")" -gt 200000 ]; then
    convert "$out/$3" -resize 75% "$out/$3"
  fi
  echo "wrote $out/$3"
}

# Fraction of the sort dialog's gauge (at 12,224, 324 x 24 in the dialog) that is filled in
# the screen image $1.
filled() {
  geometry "$SORT"
  convert "$1" -crop "320x20+$((X + 14))+$((Y + 226))" +repage \
    -fill black +opaque '#000080' -fill white -opaque '#000080' -format '%[fx:mean]' info:
}

# Runs the click $@ that starts a tag build and keeps the first screen on which the gauge is
# part-filled; false when the build ended before such a screen came.
grab_midway() {
  "$@"
  for i in $(seq 30); do
    local f="$work/frame$i.png"
    import -window root "$f"
    local part
    part=$(filled "$f")
    if awk -v p="$part" 'BEGIN { exit !(p > 0.05 && p < 0.95) }'; then
      MIDWAY=$f
      return 0
    fi
  done
  return 1
}

# ---- The sort dialog on a file of a million notes ------------------------------------------
big=$(folder big)
"$build/bin/gen_notes" "$big/orvel27c.dbf" 1000000 >/dev/null
start "$big"
click "$MAIN" 159 15 1                 # "자료정렬"
SORT=$(window '자 료 정 렬')
click "$SORT" 36 110                   # "2." and the second title's label
ok=""
for _ in 1 2 3 4 5; do
  if grab_midway click "$SORT" 284 39 0; then ok=1; break; fi  # "정  렬"
  sleep 3
done
[ -n "$ok" ] || { echo "make-screenshots: no screen showed the gauge part-filled" >&2; exit 1; }
save "$MIDWAY" "$MAIN" sort-gauge.png
sleep 3
click "$SORT" 284 123 2                # "닫  기"; the main window reopens the file

# A title button of the main window builds the third title's tag with the dialog hidden.
ok=""
if grab_midway click "$MAIN" 457 111 0; then ok=1; fi
[ -n "$ok" ] || { echo "make-screenshots: the sort from the main window showed no gauge" >&2; exit 1; }
save "$MIDWAY" "$MAIN" sort-from-main.png
sleep 3
stop

# ---- A marked rich note, and a disabled button ----------------------------------------------
small=$(folder small)
start "$small"
click "$MAIN" 300 560                  # into the note list
xdotool key ctrl+Home Down Down Down Down Down   # the sixth note, whose body is rich
sleep 0.5
xdotool key space                      # marks it, shows the mark column, goes to the next
sleep 0.5
xdotool key Up
sleep 1
shot "$MAIN" main-marked-rich.png

click "$MAIN" 235 15 1                 # "환경설정"
SET=$(window '환 경 설 정')
click "$SET" 40 200                    # "쓰기,삭제방지"
click "$SET" 398 320 1                 # "확인": the file is write-protected now
click "$MAIN" 159 15 1                 # "자료정렬"
SORT=$(window '자 료 정 렬')
sleep 0.5
shot "$SORT" disabled-button.png
click "$SORT" 284 123
stop

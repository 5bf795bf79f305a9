#!/usr/bin/env bash
# Starts the tool under a virtual X server and captures its window:
#   scripts/screenshot.sh [PROGRAM] [OUTPUT.png]
# Needs xvfb, xdotool and imagemagick (scripts/install-deps.sh installs them).
# Exits 0 without a picture, saying so, when Xvfb is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/release/src/app/resgraft}
output=${2:-docs/screenshot.png}

if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null || ! command -v import >/dev/null; then
  echo "screenshot skipped: Xvfb, xdotool or ImageMagick is missing"
  exit 0
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp &
xvfb=$!
trap 'kill "$program_pid" "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

LANG=C.UTF-8 QT_QPA_PLATFORM=xcb "$program" &
program_pid=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --name '^リソースのコピー$' 2>/dev/null | head -n 1 || true)
  [[ -n "$window" ]] && break
  sleep 0.1
done
if [[ -z "$window" ]]; then
  echo "the window did not appear" >&2
  exit 1
fi
sleep 1  # let it paint
import -window "$window" "$output"
echo "wrote $output"

#!/bin/sh
# Drives the real program from outside, as an operator does, on a private X
# server: types a companion folder, switches "Reboot each" off, picks "7 Days" in
# the drop-down and clicks SAVE, then reads the settings file on disk. The
# system bus is pointed nowhere, so no restart could ever be requested.
set -eu

program=$(realpath "$1")
scratch=$(mktemp -d)
xvfb_pid=""
program_pid=""

cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*" >&2
  for log in program xvfb; do
    if [ -s "$scratch/$log.log" ]; then echo "--- $log output:" >&2; cat "$scratch/$log.log" >&2; fi
  done
  exit 1
}

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
[ -s "$scratch/display" ] || fail "Xvfb did not start"
DISPLAY=:$(cat "$scratch/display")
export DISPLAY
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent

work="$scratch/work"
mkdir "$work"
printf 'telvnor_path=%s\r\nReboot=1\r\nReboot24=1\r\nReboot24_v=0\r\n' "$scratch/none" \
  >"$work/vrnskdm.ini"
(cd "$work" && exec "$program") >"$scratch/program.log" 2>&1 &
program_pid=$!

# The window shows once the start-up, with its wait for the clock, is done.
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^VARNISKELDAM V\.01\.00$' |
  head -n 1)
[ -n "$window" ] || fail "the window did not show"
grep -q "VARNISKELDAM Restarted" "$work/report.log" || fail "the window showed before the start-up ended"
[ -f "$work/delete.me" ] || fail "no marker file"

# Without a window manager the window gets the keyboard only when given it.
xdotool windowfocus --sync "$window"

# Places inside the window, from its design.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
folder_box="83 83"
reboot_each_box="256 63"
drop_down_button="409 62"
save_button="199 83"

# shellcheck disable=SC2086
click $folder_box
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "/srv/telvanore"
# shellcheck disable=SC2086
click $reboot_each_box
# shellcheck disable=SC2086
click $drop_down_button
sleep 0.5
xdotool key Down Down Down Return
sleep 0.3
# shellcheck disable=SC2086
click $save_button

expected=$(printf 'telvnor_path=/srv/telvanore\r\nReboot=1\r\nReboot24=0\r\nReboot24_v=3\r\n' | od -c)
for _ in $(seq 50); do
  [ "$(od -c <"$work/vrnskdm.ini")" = "$expected" ] && break
  sleep 0.1
done
actual=$(od -c <"$work/vrnskdm.ini")
[ "$actual" = "$expected" ] || fail "settings file is
$actual
instead of
$expected"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
echo "PASS: the settings saved from the window are on disk"

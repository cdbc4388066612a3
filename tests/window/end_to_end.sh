#!/bin/sh
# Drives the real program from outside, as an operator does, on a private X
# server with a window manager: types a companion folder, switches "Reboot each"
# off, picks "7 Days" in the drop-down and clicks SAVE, then reads the settings
# file on disk. Then a program fills the screen over the window, the companion
# falls silent, and the warning must come up over that program, held above it
# and with a band across the top of the screen, which lets clicks through,
# until the companion beats again; meanwhile the desktop shows it as a
# notification, on a session bus of the test's own with python-dbusmock
# standing in for the notification service. The system bus is pointed nowhere,
# so no restart could ever be requested.
#
#   end_to_end.sh PROGRAM COMPANION_SIM PICTURES_FOLDER
set -eu

program=$(realpath "$1")
companion_sim=$(realpath "$2")
pictures=$3
scratch=$(mktemp -d)
chmod 755 "$scratch"  # for the steps run as another user
xvfb_pid=""
program_pid=""
helper_pids=""

cleanup() {
  for pid in $program_pid $helper_pids $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

now_ms() { echo $(($(date +%s%N) / 1000000)); }

fail() {
  echo "FAIL: $*" >&2
  for log in program xvfb openbox xterm notifications; do
    if [ -s "$scratch/$log.log" ]; then echo "--- $log output:" >&2; cat "$scratch/$log.log" >&2; fi
  done
  exit 1
}

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$scratch/display" 2>"$scratch/xvfb.log" &
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

dbus-daemon --session --nofork --address="unix:path=$scratch/session-bus" --print-address=1 \
  >"$scratch/session-address" 2>/dev/null &
helper_pids=$!
for _ in $(seq 100); do
  [ -s "$scratch/session-address" ] && break
  sleep 0.1
done
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$scratch/session-address")
[ -n "$DBUS_SESSION_BUS_ADDRESS" ] || fail "the session bus did not start"
export DBUS_SESSION_BUS_ADDRESS
/usr/bin/python3 -m dbusmock --session --template notification_daemon >"$scratch/notifications.log" 2>&1 &
helper_pids="$helper_pids $!"

openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
helper_pids="$helper_pids $!"
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"

companion="$scratch/telvnor"
mkdir "$companion"
"$companion_sim" "$companion" --every 500 >/dev/null 2>&1 &
companion_pid=$!
helper_pids="$helper_pids $companion_pid"

work="$scratch/work"
mkdir "$work"
printf 'telvnor_path=%s\r\nReboot=1\r\nReboot24=1\r\nReboot24_v=0\r\n' "$scratch/none" \
  >"$work/vrnskdm.ini"
# Started as nohup starts it, with SIGHUP ignored.
(trap '' HUP && cd "$work" && exec "$program") >"$scratch/program.log" 2>&1 &
program_pid=$!

# Told to stop during the start-up's wait for the clock, another in a folder
# of its own ends at once, and writes nothing: nothing was started yet.
early="$scratch/early"
mkdir "$early"
(cd "$early" && exec "$program") >"$scratch/early.log" 2>&1 &
early_pid=$!
helper_pids="$helper_pids $early_pid"
# Once it catches SIGTERM, its start-up is under way.
catches_term() { [ $((0x$(awk '/^SigCgt:/ { print $2 }' "/proc/$early_pid/status") >> 14 & 1)) -eq 1 ]; }
for _ in $(seq 50); do
  catches_term && break
  sleep 0.1
done
catches_term || fail "the program did not start"
kill -TERM "$early_pid"
stopped_at=$(now_ms)
(sleep 10 && kill -KILL "$early_pid") 2>/dev/null &
watcher=$!
helper_pids="$helper_pids $watcher"
status=0
wait "$early_pid" || status=$?
kill "$watcher" 2>/dev/null || true
[ "$status" -eq 0 ] || fail "stopped in the start-up's wait, the program ended with status $status"
took=$(($(now_ms) - stopped_at))
[ "$took" -lt 1000 ] || fail "stopped in the start-up's wait, the program took $took ms to end"
[ -z "$(ls -A "$early")" ] || fail "stopped in the start-up's wait, the program wrote $(ls -A "$early")"
echo "PASS: stopped in the start-up's wait, the program ends in $took ms and writes nothing"

# The window shows once the start-up, with its wait for the clock, is done.
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^VARNISKELDAM V\.01\.00$' |
  head -n 1)
[ -n "$window" ] || fail "the window did not show"
grep -q "VARNISKELDAM Restarted" "$work/report.log" || fail "the window showed before the start-up ended"
[ -f "$work/delete.me" ] || fail "no marker file"

xdotool windowfocus --sync "$window"

# A second watchdog in the folder, run as another user with this user's pipe or
# terminal for its standard error, says why it ends, with its status of its own.
# The build may lie where only this user may go (root's home): the other user
# runs a copy.
if [ "$(id -u)" -eq 0 ]; then
  cp "$program" "$scratch/vrnskdm"
  status=0
  said=$(cd "$work" && runuser -u nobody -- "$scratch/vrnskdm" 2>&1) || status=$?
  [ "$status" -eq 3 ] || fail "a second watchdog in the folder ended with status $status"
  echo "$said" | grep -q "a watchdog already runs in $work" ||
    fail "a second watchdog said through another user's pipe: $said"
  said=$(cd "$work" && script -qec "runuser -u nobody -- '$scratch/vrnskdm'" /dev/null) || true
  echo "$said" | grep -q "a watchdog already runs in $work" ||
    fail "a second watchdog said on another user's terminal: $said"
  echo "PASS: a second watchdog says why it ends, on another user's pipe and terminal"
fi

# Places inside the window, from its design.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
folder_box="83 83"
reboot_each_box="256 63"
drop_down_button="409 62"
save_button="199 83"

# shellcheck disable=SC2086
click $folder_box
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "$companion"
# shellcheck disable=SC2086
click $reboot_each_box
# shellcheck disable=SC2086
click $drop_down_button
sleep 0.5
xdotool key Down Down Down Return
sleep 0.3
# shellcheck disable=SC2086
click $save_button

expected=$(printf 'telvnor_path=%s\r\nReboot=1\r\nReboot24=0\r\nReboot24_v=3\r\n' "$companion" | od -c)
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

# The saved folder is watched from now on, where the companion beats.
mkdir -p "$pictures"
# Whether a picture of the whole screen shows the warning panel's red or green.
warning_seen() {
  import -window root "$1"
  convert "$1" -format %c histogram:info:- | grep -q -i -e '#FF0101' -e '#00FF01'
}
above() { xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
# Whether the band over every window shows the panel's red or green at the
# screen's top right, beside the window, over the program that fills the screen.
band_seen() {
  import -window root "$1"
  convert "$1" -crop 1x1+790+5 -format '%[hex:u.p{0,0}]' info:- | grep -q -i -e 'FF0101' -e '00FF01'
}
xterm -fullscreen >"$scratch/xterm.log" 2>&1 &
helper_pids="$helper_pids $!"
kiosk=$(timeout 10 xdotool search --sync --onlyvisible --class xterm | head -n 1)
[ -n "$kiosk" ] || fail "xterm did not show"
for _ in $(seq 50); do
  xprop -id "$kiosk" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN && break
  sleep 0.1
done
xprop -id "$kiosk" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN || fail "xterm does not fill the screen"
! warning_seen "$pictures/x11-covered.png" || fail "the warning shows before the companion fell silent"
above && fail "the window is kept on top while all is well"

kill -USR1 "$companion_pid"
# The last heartbeat may still be waiting: the first silent tick comes within
# two seconds, the countdown's first tick a second later, and with it the
# "above" state.
for _ in $(seq 50); do
  above && break
  sleep 0.1
done
above || fail "the window is not kept on top during the countdown"
raised_at=$(now_ms)
until warning_seen "$pictures/x11-warning.png"; do
  [ $(($(now_ms) - raised_at)) -lt 2000 ] || fail "no warning over the fullscreen program within 2 s"
  sleep 0.1
done
echo "PASS: the warning shows over a fullscreen program $(($(now_ms) - raised_at)) ms after it was raised"
until band_seen "$pictures/x11-band.png"; do
  [ $(($(now_ms) - raised_at)) -lt 2000 ] || fail "no band across the top of the screen within 2 s"
  sleep 0.1
done
band=$(xdotool search --classname '^vrnskdm-warning$' | head -n 1)
xdotool mousemove 790 30
eval "$(xdotool getmouselocation --shell)"
[ "$WINDOW" != "$band" ] || fail "the band takes the pointer from the program underneath"
echo "PASS: the band across the top of the screen shows over the fullscreen program, clicks pass through it"
active=$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //')
[ $((active)) -eq $((kiosk)) ] || fail "the window took the keyboard from the program under the band"

# The calls the notification service had, without their times.
notifications() {
  busctl --address="$DBUS_SESSION_BUS_ADDRESS" call org.freedesktop.Notifications \
    /org/freedesktop/Notifications org.freedesktop.DBus.Mock GetCalls | sed 's/ [0-9]\{10,\} "/ "/g'
}
shown='"Notify" 8 s "vrnskdm" u 0 s "vrnskdm" s "The machine restarts in 180 seconds"'
shown="$shown"' s "TELVANORE does not respond." as 0 a{sv} 1 "urgency" y 2 i 0'
# Sent from a thread of its own as the window comes up: it may come a moment later.
for _ in $(seq 20); do
  [ "$(notifications)" = "a(tsav) 1 $shown" ] && break
  sleep 0.1
done
[ "$(notifications)" = "a(tsav) 1 $shown" ] || fail "the desktop was told $(notifications)"

kill -USR2 "$companion_pid"
for _ in $(seq 30); do
  above || break
  sleep 0.1
done
above && fail "the window is still kept on top after the companion beats again"
for _ in $(seq 20); do
  band_seen "$pictures/x11-band-gone.png" || break
  sleep 0.1
done
band_seen "$pictures/x11-band-gone.png" && fail "the band stays after the companion beats again"
for _ in $(seq 20); do
  [ "$(notifications)" = "a(tsav) 2 $shown \"CloseNotification\" 1 i 1" ] && break
  sleep 0.1
done
[ "$(notifications)" = "a(tsav) 2 $shown \"CloseNotification\" 1 i 1" ] ||
  fail "the notification was not closed: $(notifications)"
xdotool search --onlyvisible --name '^VARNISKELDAM V\.01\.00$' >/dev/null || fail "the window went away"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
echo "PASS: the window takes its ordinary place again, and the notification goes, once the companion beats"

# SIGHUP, ignored at the start, stays ignored: the session's end leaves the
# watchdog running. So does SIGPIPE: a reader of its standard error or of its
# display's connection going away fails a write, and ends nothing.
kill -HUP "$program_pid"
sleep 0.3
kill -0 "$program_pid" 2>/dev/null || fail "the program started with SIGHUP ignored ended at SIGHUP"
ignored=$(awk '/^SigIgn:/ { print $2 }' "/proc/$program_pid/status")
[ $((0x$ignored >> 12 & 1)) -eq 1 ] || fail "SIGPIPE is not ignored: SigIgn $ignored"
echo "PASS: SIGHUP ignored at the start, and SIGPIPE, stay ignored"

# Told to stop, as at logout, while the warning shows: it ends as when its
# window is closed, with status 0, and takes its notification with it.
count_of() { notifications | grep -o "\"$1\"" | wc -l; }
kill -USR1 "$companion_pid"
for _ in $(seq 50); do
  [ "$(count_of Notify)" -eq 2 ] && break
  sleep 0.1
done
[ "$(count_of Notify)" -eq 2 ] || fail "the second outage was not notified: $(notifications)"
kill -TERM "$program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 0 ] || fail "the program told to stop ended with status $status"
[ "$(count_of CloseNotification)" -eq 2 ] || fail "the notification stayed after the end: $(notifications)"
echo "PASS: told to stop, the program ends as a closed window does, and its notification goes"

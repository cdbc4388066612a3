#!/bin/sh
# Tries whether the warning comes up over a program that fills the screen on
# headless Wayland compositors, and keeps a picture of each: weston's desktop
# shell and kiosk shell on the headless backend, which has no seat, weston's
# desktop shell on the X11 backend over Xvfb, which has one, sway as it comes,
# sway with the rule the README gives, and cage (sway and cage refuse to run as
# root: they run as nobody, with everything they show). Each trial starts the
# compositor with a fresh runtime folder, the
# watchdog as a native Wayland client beside a beating companion, then
# weston-terminal filling the screen over it; the companion falls silent, and
# two pictures a second apart, taken the compositor's way, show the panel's red
# or not (the panel flashes red and green). Prints one line for each trial.
# Headless compositors render by their own rules here, so this is not a test
# that CI runs: the build target wayland_pictures runs it.
#
#   wayland_pictures.sh PROGRAM COMPANION_SIM PICTURES_FOLDER
set -eu

program=$(realpath "$1")
companion_sim=$(realpath "$2")
mkdir -p "$3"
pictures=$(realpath "$3")
scratch=$(mktemp -d)
pids=""

stop_all() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pids=""
}
trap 'stop_all; rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM

export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
export QT_QPA_PLATFORM=wayland
unset DISPLAY

# Waits up to ten seconds for a command to succeed.
wait_until() {
  for _ in $(seq 100); do
    if "$@" 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  return 1
}

# The name of the compositor's socket in the runtime folder, once it is there.
wayland_socket() {
  for socket in "$XDG_RUNTIME_DIR"/wayland-*; do
    case $socket in
      *.lock) ;;
      *) if [ -S "$socket" ]; then basename "$socket" && return 0; fi ;;
    esac
  done
  return 1
}
started() { grep -q "VARNISKELDAM Restarted" "$1/report.log"; }
red_in() { convert "$1" -format %c histogram:info:- | grep -q -i '#FF0101'; }

# picture NAME: a picture of the screen, the compositor's way.
picture() {
  case $compositor in
    weston*)
      rm -f "$trial"/wayland-screenshot-*.png
      (cd "$trial" && weston-screenshooter) >/dev/null 2>&1
      mv "$trial"/wayland-screenshot-*.png "$pictures/$1.png"
      ;;
    sway* | cage)
      $as grim "$trial/picture.png"
      mv "$trial/picture.png" "$pictures/$1.png"
      ;;
  esac
}

# trial COMPOSITOR: weston-desktop, weston-kiosk, weston-desktop-x11, sway,
# sway-rule or cage.
trial() {
  compositor=$1
  trial="$scratch/$compositor"
  mkdir -p "$trial/run" "$trial/work" "$trial/telvnor"
  chmod 700 "$trial/run"
  export XDG_RUNTIME_DIR="$trial/run"
  as=""
  case $compositor in
    weston-desktop-x11)
      Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$trial/display" 2>/dev/null &
      pids="$!"
      wait_until test -s "$trial/display"
      DISPLAY=:$(cat "$trial/display") weston --backend=x11-backend.so --use-pixman \
        --socket=wayland-trial --width=800 --height=600 --debug --idle-time=0 \
        >"$trial/compositor.log" 2>&1 &
      ;;
    weston-*)
      weston --backend=headless-backend.so --use-pixman --shell="${compositor#weston-}-shell.so" \
        --socket=wayland-trial --width=800 --height=600 --debug --idle-time=0 \
        >"$trial/compositor.log" 2>&1 &
      ;;
    sway* | cage)
      printf 'output HEADLESS-1 resolution 800x600\n' >"$trial/sway.conf"
      if [ "$compositor" = sway-rule ]; then
        sed -n 's/^ *\(for_window \[app_id="vrnskdm"\].*\)$/\1/p' "$(dirname "$0")/../../README.md" \
          >>"$trial/sway.conf"
      fi
      if [ "$(id -u)" -eq 0 ]; then
        as="setpriv --reuid=nobody --regid=nogroup --clear-groups --"
        chmod 755 "$scratch"
        chown -R nobody:nogroup "$trial"
      fi
      # cage runs the kiosk's program itself, from its start: here once told to.
      if [ "$compositor" = cage ]; then
        # shellcheck disable=SC2016
        set -- cage -- sh -c 'until [ -e "$0" ]; do sleep 0.1; done; exec weston-terminal --fullscreen' \
          "$trial/cover"
      else
        set -- sway -c "$trial/sway.conf"
      fi
      WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        $as "$@" >"$trial/compositor.log" 2>&1 &
      ;;
  esac
  pids="$pids $!"
  if ! wait_until wayland_socket >/dev/null; then
    echo "$compositor: did not start (see $pictures/$compositor.log)"
    cp "$trial/compositor.log" "$pictures/$compositor.log"
    stop_all
    return
  fi
  WAYLAND_DISPLAY=$(wayland_socket)
  export WAYLAND_DISPLAY

  $as "$companion_sim" "$trial/telvnor" --every 500 >/dev/null 2>&1 &
  companion=$!
  pids="$pids $companion"
  printf 'telvnor_path=%s\r\nReboot=1\r\nReboot24=0\r\nReboot24_v=0\r\n' "$trial/telvnor" \
    >"$trial/work/vrnskdm.ini"
  [ -z "$as" ] || chown nobody "$trial/work/vrnskdm.ini"
  (cd "$trial/work" && exec $as "$program") >"$trial/program.log" 2>&1 &
  pids="$pids $!"
  wait_until started "$trial/work" || true
  sleep 1
  if [ "$compositor" = cage ]; then
    touch "$trial/cover"
  else
    (cd "$trial" && exec $as weston-terminal --fullscreen) >/dev/null 2>&1 &
    pids="$pids $!"
  fi
  sleep 2
  picture "$compositor-covered"

  kill -USR1 "$companion"
  # The first silent tick within two seconds, the countdown's first a second later.
  sleep 4
  picture "$compositor-warning-1"
  sleep 1
  picture "$compositor-warning-2"
  if red_in "$pictures/$compositor-warning-1.png" || red_in "$pictures/$compositor-warning-2.png"; then
    seen="seen"
  else
    seen="NOT seen"
  fi
  echo "$compositor: the warning $seen over the fullscreen program;" \
    "pictures $pictures/$compositor-{covered,warning-1,warning-2}.png"
  stop_all
}

for compositor in ${TRIALS:-weston-desktop weston-kiosk weston-desktop-x11 sway sway-rule cage}; do
  trial "$compositor"
done

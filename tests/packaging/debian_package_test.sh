#!/bin/sh
# Builds the Debian package from debian/ twice, in two folders, and compares the
# two; has lintian check the source and the package, installs it with dpkg, starts
# the watchdog with the command of each installed desktop entry as a desktop's
# launcher does and with the user unit's command as systemd would, starts a
# second watchdog in a folder taken by the first, gathers their journal entries
# as systemd-journal-remote gathers a fleet's and asks that journal what the
# README's "Many machines" asks, and purges the package again.
# Needs root, and changes the machine while it runs; what it installed and
# started is taken away again, also when it fails.
#
# The watchdog runs in a private mount namespace whose /run is empty, so no
# system bus can be reached and no restart could ever be requested, and where
# the journal's socket is one this test listens on.
#
#   debian_package_test.sh SOURCE_DIR BUILD_DIR
set -eu

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: installing a package needs root"
  exit 77
fi

source_dir=$(realpath "$1")
build_dir=$(realpath "$2")

# Two runs at once would install and remove the same package under each other.
exec 9>/run/vrnskdm-package-test.lock
flock -w 600 9 || { echo "FAIL: another run of this test holds the machine" >&2; exit 1; }

# There while the package on the machine is this test's own, so that a run
# that was killed before it could remove the package leaves it to the next run
# to remove, rather than passing for the machine's own installation.
installed_by_test=/var/tmp/vrnskdm-package-test.installed
if dpkg-query -W -f='${Status}' vrnskdm 2>/dev/null | grep -q ' installed$' &&
  [ ! -e "$installed_by_test" ]; then
  echo "SKIPPED: vrnskdm is installed on this machine, and this test would remove it"
  exit 77
fi

scratch=$(mktemp -d)
listener_pid=""

# "PID FOLDER" for each running installed watchdog, FOLDER its working folder.
installed_programs() {
  for proc in /proc/[0-9]*; do
    if [ "$(readlink "$proc/exe" 2>/dev/null)" = /usr/bin/vrnskdm ]; then
      echo "${proc#/proc/} $(readlink "$proc/cwd" 2>/dev/null)"
    fi
  done
}

cleanup() {
  installed_programs | while read -r pid folder; do
    case "$folder" in "$scratch"/*) kill "$pid" 2>/dev/null || true ;; esac
  done
  if [ -n "$listener_pid" ]; then kill "$listener_pid" 2>/dev/null || true; fi
  if [ -e "$installed_by_test" ]; then
    dpkg --purge vrnskdm >/dev/null 2>&1 || true
    rm -f "$installed_by_test"
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*" >&2
  for log in first-build second-build lintian dpkg launch second remote; do
    if [ -s "$scratch/$log.log" ]; then echo "--- $log output:" >&2; tail -n 60 "$scratch/$log.log" >&2; fi
  done
  exit 1
}
. "$source_dir/tests/packaging/installed_tree.sh"

# The source as committed and staged, without any build folder, taken once, so
# that both builds are of the same source even when it changes meanwhile.
git -C "$source_dir" ls-files -z | (cd "$source_dir" && tar --null -T - -c) >"$scratch/source.tar" ||
  fail "could not take the source out of $source_dir"
# Unpacks the source into FOLDER and builds there with dpkg-buildpackage's
# OPTIONS; LOG names the log.
#   build_in FOLDER LOG OPTIONS...
build_in() {
  folder=$1
  log=$2
  shift 2
  mkdir -p "$folder"
  tar -x -C "$folder" -f "$scratch/source.tar" || fail "could not unpack the source into $folder"
  (cd "$folder" && dpkg-buildpackage -us -uc -jauto "$@") >"$scratch/$log.log" 2>&1 ||
    fail "dpkg-buildpackage $* could not build the package"
}
# The compiler cache of this build, when it has one; nothing else is shared.
launcher=$(sed -n 's/^CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
if [ -n "$launcher" ]; then export CMAKE_CXX_COMPILER_LAUNCHER="$launcher"; fi
# The source package and the binary ones, the tests that need nothing of the
# machine's run; then the binary ones again, later, in a folder of another
# depth and name, without the tests, which must change nothing.
build_in "$scratch/first/vrnskdm" first-build
DEB_BUILD_OPTIONS=nocheck build_in "$scratch/second/elsewhere/vrnskdm-again" second-build -b -Pnocheck
grep -q "tests passed" "$scratch/first-build.log" || fail "the first build ran no tests"
for built in "$scratch"/first/vrnskdm_*.deb "$scratch"/first/vrnskdm-dbgsym_*.deb; do
  [ -f "$built" ] || fail "dpkg-buildpackage made no $built"
  again=$scratch/second/elsewhere/$(basename "$built")
  if ! cmp "$built" "$again"; then
    for part in -I -c; do
      dpkg-deb "$part" "$built" >"$scratch/first.$part"
      dpkg-deb "$part" "$again" >"$scratch/second.$part"
      diff "$scratch/first.$part" "$scratch/second.$part" >&2 || true
    done
    (cd "$scratch/first" && mkdir unpacked && dpkg-deb -R "$built" unpacked)
    (cd "$scratch/second" && mkdir unpacked && dpkg-deb -R "$again" unpacked)
    diff -r "$scratch/first/unpacked" "$scratch/second/unpacked" >&2 || true
    fail "two builds of the same source give two different $(basename "$built")"
  fi
done
set -- "$scratch"/first/vrnskdm_*_*.deb
package=$1

# No error and no warning, in the source package nor in the binary ones; the
# informational tags left, and why, are in the README.
command -v lintian >/dev/null || fail "lintian is missing: tools/install-deps test installs it"
set -- "$scratch"/first/vrnskdm_*_*.changes
lintian --display-info --fail-on error,warning "$1" >"$scratch/lintian.log" 2>&1 ||
  fail "lintian finds fault with the package"

depends=$(dpkg-deb -f "$package" Depends)
for needed in libqt6widgets6 libsystemd0 fonts-urw-base35; do
  echo "$depends" | grep -Eq "(^|, )$needed( |,|$)" || fail "the package does not depend on $needed: $depends"
done
# Nothing can run at installation or removal when the package has no scripts.
scripts=$(dpkg-deb --ctrl-tarfile "$package" | tar -t | grep -Evx '\./|\./control|\./md5sums' || true)
[ -z "$scripts" ] || fail "the package has maintainer scripts: $scripts"

touch "$installed_by_test"
dpkg -i "$package" >"$scratch/dpkg.log" 2>&1 || fail "dpkg -i failed"
[ -z "$(installed_programs)" ] || fail "installing started the watchdog: $(installed_programs)"
dpkg -L vrnskdm | while IFS= read -r path; do
  if [ ! -d "$path" ]; then echo "$path"; fi
done >"$scratch/installed_files"
sed 's|^/usr/||' "$scratch/installed_files" | check_file_list
check_installed_files /usr "$source_dir"
[ "$(man -w vrnskdm)" = /usr/share/man/man1/vrnskdm.1.gz ] || fail "man does not find vrnskdm(1)"

unit=/usr/lib/systemd/user/vrnskdm.service
mkdir -m 700 "$scratch/runtime"
# Checked as the user's systemd would load it, also for the manual page that
# it names; never started. Where systemd is missing, the unit goes unchecked.
if command -v systemd-analyze >/dev/null; then
  # It reports faults in a unit on its output, yet exits with 0 for most.
  if ! verified=$(XDG_RUNTIME_DIR=$scratch/runtime systemd-analyze --user verify "$unit" 2>&1) ||
    [ -n "$verified" ]; then
    fail "systemd-analyze finds fault with $unit: $verified"
  fi
else
  echo "note: no systemd-analyze here, so $unit was not verified"
fi

mkdir "$scratch/journal"
# Each entry as it came, with the fields that journald adds to every entry
# itself in front, and a blank line after it: the journal's export format.
/usr/bin/python3 - "$scratch/journal/socket" "$scratch/journal.txt" <<'EOF_PYTHON' &
import socket, sys, time
journal = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
journal.bind(sys.argv[1])
# Debian 13's systemd-journal-remote takes no entry without its boot and its
# monotonic time, which journald adds too.
with open("/proc/sys/kernel/random/boot_id", "rb") as boot:
    boot_id = boot.read().strip().replace(b"-", b"")
with open(sys.argv[2], "ab", buffering=0) as received:
    while True:
        entry = journal.recv(65536)
        received.write(b"__REALTIME_TIMESTAMP=%d\n__MONOTONIC_TIMESTAMP=%d\n_BOOT_ID=%s\n_HOSTNAME=%s\n" %
                       (time.time_ns() // 1000, time.monotonic_ns() // 1000, boot_id,
                        socket.gethostname().encode()) + entry + b"\n")
EOF_PYTHON
listener_pid=$!
for _ in $(seq 100); do
  [ -S "$scratch/journal/socket" ] && break
  sleep 0.1
done
[ -S "$scratch/journal/socket" ] || fail "the stand-in journal did not start"

# Run by a shell in the namespace: empties /run and puts the stand-in journal
# where the journal's socket would be, then runs the command it is given.
# shellcheck disable=SC2016
in_namespace='mount -t tmpfs tmpfs /run && mkdir -p /run/systemd/journal &&
  mount --bind "$1" /run/systemd/journal && shift && exec "$@"'
# Runs COMMAND in the namespace for a user whose home folder is HOME, with
# nothing of this test's environment but what it names.
#   isolated HOME COMMAND...
isolated() {
  home=$1
  shift
  env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen \
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
    unshare --mount --propagation private sh -c "$in_namespace" sh "$scratch/journal" "$@"
}
# Starts the desktop entry ENTRY with GLib's launcher, for a user whose home
# folder is HOME.
launch() {
  isolated "$2" gio launch "$1" >>"$scratch/launch.log" 2>&1 || fail "could not launch $1"
}

# The menu entry, for a user whose folder holds settings: their period, 30 days,
# shows in the marker that the program writes in the same folder.
menu_folder=$scratch/operator/vrnskdm
mkdir -p "$menu_folder"
printf 'telvnor_path=%s\r\nReboot=0\r\nReboot24=0\r\nReboot24_v=7\r\n' "$scratch/companion" \
  >"$menu_folder/vrnskdm.ini"
launch /usr/share/applications/vrnskdm.desktop "$scratch/operator"
# The autostart example, for a user who has no folder yet.
autostart_folder=$scratch/kiosk/vrnskdm
mkdir "$scratch/kiosk"
launch /usr/share/vrnskdm/autostart/vrnskdm.desktop "$scratch/kiosk"
# The user unit's command, as systemd runs it, for another user without a
# folder: systemd splits this line into words as the shell does.
unit_folder=$scratch/session/vrnskdm
mkdir "$scratch/session"
eval "set -- $(sed -n 's/^ExecStart=//p' "$unit")"
isolated "$scratch/session" "$@" >>"$scratch/launch.log" 2>&1 &

# The start-up first waits about nine seconds for the clock to settle.
for _ in $(seq 300); do
  if grep -qs "VARNISKELDAM Restarted" "$menu_folder/report.log" &&
    grep -qs "VARNISKELDAM Restarted" "$autostart_folder/report.log" &&
    grep -qs "VARNISKELDAM Restarted" "$unit_folder/report.log"; then
    break
  fi
  sleep 0.1
done

cr=$(printf '\r')
timestamp='[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'
# Fails unless one watchdog runs in FOLDER, has logged its start there, and has
# written its marker there for a period of HOURS hours.
check_started_in() {
  folder=$1
  [ "$(installed_programs | awk -v folder="$folder" '$2 == folder' | wc -l)" -eq 1 ] ||
    fail "the watchdog is not running in $folder: $(installed_programs)"
  if ! { grep -Eqx "$timestamp VARNISKELDAM Restarted$cr" "$folder/report.log" &&
    [ "$(wc -l <"$folder/report.log")" -eq 1 ]; }; then
    fail "report.log in $folder is: $(cat -A "$folder/report.log")"
  fi
  if ! { [ "$(sed -n 1p "$folder/delete.me")" = \
    "Delete this file to don't make reboot the system in $2 hours from:$cr" ] &&
    sed -n 2p "$folder/delete.me" | grep -Eqx "$timestamp$cr" &&
    [ "$(wc -l <"$folder/delete.me")" -eq 2 ]; }; then
    fail "delete.me in $folder is: $(cat -A "$folder/delete.me")"
  fi
}
check_started_in "$menu_folder" 720
check_started_in "$autostart_folder" 24
check_started_in "$unit_folder" 24

# A second watchdog in a folder where one runs ends at once with its own status,
# the one the user unit does not restart on, and changes nothing in the folder.
folder_before=$(ls -l --time-style=full-iso "$menu_folder")
status=0
(cd "$menu_folder" && isolated "$scratch/operator" timeout 10 vrnskdm) >"$scratch/second.log" 2>&1 ||
  status=$?
[ "$status" -eq 3 ] || fail "a second watchdog in $menu_folder ended with status $status, not 3"
grep -qx "RestartPreventExitStatus=$status" "$unit" || fail "the user unit restarts a second watchdog"
grep -q "^vrnskdm: a watchdog already runs in $menu_folder;" "$scratch/second.log" ||
  fail "the second watchdog did not say why it ended"
[ "$(ls -l --time-style=full-iso "$menu_folder")" = "$folder_before" ] ||
  fail "the second watchdog changed $menu_folder: $(ls -l --time-style=full-iso "$menu_folder")"

# Each watchdog's restart entry also went to the journal, under its name, and
# so did the second one's warning.
entries=$(grep -c '^MESSAGE=VARNISKELDAM Restarted$' "$scratch/journal.txt" || true)
[ "$entries" -eq 3 ] || fail "the journal got $entries restart entries: $(cat -A "$scratch/journal.txt")"
for _ in $(seq 50); do
  grep -q "^MESSAGE=a watchdog already runs in $menu_folder;" "$scratch/journal.txt" && break
  sleep 0.1
done
grep -q "^MESSAGE=a watchdog already runs in $menu_folder;" "$scratch/journal.txt" ||
  fail "the journal did not get the second watchdog's warning: $(cat -A "$scratch/journal.txt")"
[ "$(grep -c '^SYSLOG_IDENTIFIER=vrnskdm$' "$scratch/journal.txt")" -eq "$(grep -c '^PRIORITY=' "$scratch/journal.txt")" ] ||
  fail "the journal entries are not the watchdog's: $(cat -A "$scratch/journal.txt")"
# Without a system bus, each start warns that a restart cannot be asked for;
# the second watchdog's warning makes four.
warnings=$(grep -c '^PRIORITY=4$' "$scratch/journal.txt" || true)
[ "$warnings" -eq 4 ] || fail "the journal got $warnings warnings: $(cat -A "$scratch/journal.txt")"

# Every entry names its kind and its folders; the catalog that the package
# installed, and systemd's trigger put in the journal's database, explains it.
# The README's "Many machines" asks a fleet's journal, gathered by
# systemd-journal-remote, this way.
started=477aad350e5f40b39f93dfd8234e7caf
not_allowed=85fd52546bc3453eb562f116dcc9f3e4
taken=b8b55aa708c54b89b70b7e1bd59bd8fd
[ "$(grep -c '^MESSAGE_ID=' "$scratch/journal.txt")" -eq "$(grep -c '^PRIORITY=' "$scratch/journal.txt")" ] ||
  fail "journal entries without MESSAGE_ID: $(cat -A "$scratch/journal.txt")"
remote=$scratch/remote
mkdir "$remote"
[ -x /lib/systemd/systemd-journal-remote ] ||
  fail "systemd-journal-remote is missing: tools/install-deps test installs it"
/lib/systemd/systemd-journal-remote -o "$remote/kiosks.journal" - <"$scratch/journal.txt" \
  >"$scratch/remote.log" 2>&1 || fail "systemd-journal-remote did not take the entries"
# The starts, one for each folder.
starts=$(journalctl -D "$remote" MESSAGE_ID=$started -o json --output-fields=_HOSTNAME,VRNSKDM_FOLDER) ||
  fail "journalctl cannot read what systemd-journal-remote wrote"
for folder in "$menu_folder" "$autostart_folder" "$unit_folder"; do
  echo "$starts" | grep -q "\"VRNSKDM_FOLDER\":\"$folder\"" || fail "no start in $folder: $starts"
done
[ "$(echo "$starts" | wc -l)" -eq 3 ] || fail "the starts are: $starts"
# The machines where a restart will not happen, with the companion's folder.
refusals=$(journalctl -D "$remote" MESSAGE_ID=$not_allowed -o cat \
  --output-fields=_HOSTNAME,VRNSKDM_COMPANION_FOLDER)
if ! { [ "$(echo "$refusals" | grep -cx "$scratch/companion")" -eq 1 ] &&
  [ "$(echo "$refusals" | grep -cx "$(hostname)")" -eq 3 ]; }; then
  fail "the warnings that a restart would be refused are: $refusals"
fi
# Every warning of one folder, explained.
explained=$(journalctl -D "$remote" -x -p warning VRNSKDM_FOLDER="$menu_folder" _HOSTNAME="$(hostname)")
for subject in "A restart would be refused" "A second watchdog in $menu_folder ended at once"; do
  echo "$explained" | grep -q "Subject: $subject" || fail "journalctl -x does not explain: $explained"
done
[ "$(journalctl -D "$remote" -o cat MESSAGE_ID=$taken)" = \
  "a watchdog already runs in $menu_folder; this one ends without touching its files" ] ||
  fail "the second watchdog's entry is: $(journalctl -D "$remote" -o export MESSAGE_ID=$taken)"

pids=$(installed_programs | awk '{print $1}')
# shellcheck disable=SC2086
kill $pids
for _ in $(seq 50); do
  [ -z "$(installed_programs)" ] && break
  sleep 0.1
done
[ -z "$(installed_programs)" ] || fail "the watchdog did not end: $(installed_programs)"

dpkg --purge vrnskdm >"$scratch/dpkg.log" 2>&1 || fail "dpkg --purge failed"
rm -f "$installed_by_test"
state=$(dpkg-query -W -f='${db:Status-Status}' vrnskdm 2>/dev/null || true)
[ -z "$state" ] || [ "$state" = not-installed ] || fail "vrnskdm is left $state after purging"
[ -z "$(journalctl --list-catalog $started 2>/dev/null)" ] ||
  fail "the journal's database still explains the watchdog's entries after purging"
while IFS= read -r path; do
  [ ! -e "$path" ] || fail "$path is left after purging"
done <"$scratch/installed_files"
for folder in /usr/share/vrnskdm /usr/share/doc/vrnskdm; do
  [ ! -e "$folder" ] || fail "$folder is left after purging"
done
echo "PASS: two builds give the same package, lintian-clean, which installs, its entries start the watchdog in their folders," \
  "a second watchdog in a folder refuses, their entries are found and explained in a gathered" \
  "journal, and it purges"

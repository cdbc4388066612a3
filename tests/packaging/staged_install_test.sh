#!/bin/sh
# Installs the build into a scratch folder, as "cmake --install" with DESTDIR
# does for a packager, and checks what lands where.
#
#   staged_install_test.sh SOURCE_DIR BUILD_DIR
set -eu

source_dir=$(realpath "$1")
build_dir=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
. "$source_dir/tests/packaging/installed_tree.sh"

DESTDIR=$scratch/root cmake --install "$build_dir" --prefix /usr >"$scratch/install.log" ||
  fail "cmake --install failed: $(cat "$scratch/install.log")"
(cd "$scratch/root" && find . ! -type d) | sed 's|^\./usr/||' | check_file_list
check_installed_files "$scratch/root/usr" "$source_dir"
echo "PASS: the staged install holds the program, its entries, its icons and the examples"

# Checks of an installed vrnskdm, shared by the staged install and the Debian
# package tests. Sourced; needs a function fail MESSAGE that ends the test.

# Reads installed paths, relative to the prefix, one a line; fails on any file
# the program has no business installing (a test program, or a file that would
# act as installed, such as a polkit rule in polkit's own folders).
check_file_list() {
  while IFS= read -r file; do
    case "$file" in
      bin/vrnskdm | share/applications/vrnskdm.desktop | \
        share/icons/hicolor/*/apps/vrnskdm.png | share/icons/hicolor/scalable/apps/vrnskdm.svg | \
        share/vrnskdm/autostart/vrnskdm.desktop | share/vrnskdm/polkit/49-vrnskdm-restart.rules | \
        lib/systemd/user/vrnskdm.service | lib/systemd/catalog/vrnskdm.catalog | share/man/man1/vrnskdm.1.gz | \
        share/doc/vrnskdm/copyright | share/doc/vrnskdm/changelog.gz) ;;
      *) fail "unexpected installed file $file" ;;
    esac
  done
}

# Checks the files installed under PREFIX (such as /usr) from SOURCE_DIR.
check_installed_files() {
  prefix=$1
  source_dir=$2
  file -b "$prefix/bin/vrnskdm" | grep -q '^ELF .*executable' ||
    fail "$prefix/bin/vrnskdm is no program"
  [ -x "$prefix/bin/vrnskdm" ] || fail "$prefix/bin/vrnskdm cannot be run"

  for entry in "$prefix/share/applications/vrnskdm.desktop" \
    "$prefix/share/vrnskdm/autostart/vrnskdm.desktop"; do
    desktop-file-validate "$entry" || fail "$entry is no valid desktop entry"
    grep -qx 'Icon=vrnskdm' "$entry" || fail "$entry names another icon"
    grep -qx 'TryExec=vrnskdm' "$entry" || fail "$entry tries another program"
  done

  icons=$prefix/share/icons/hicolor
  grep -q '<svg' "$icons/scalable/apps/vrnskdm.svg" || fail "no scalable icon"
  [ -f "$icons/48x48/apps/vrnskdm.png" ] || fail "no 48 x 48 icon, the size menus ask for"
  for png in "$icons"/*x*/apps/vrnskdm.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    file -b "$png" | grep -q "^PNG image data, ${size%x*} x ${size#*x}," ||
      fail "$png is not a $size PNG: $(file -b "$png")"
  done

  cmp -s "$prefix/share/vrnskdm/polkit/49-vrnskdm-restart.rules" \
    "$source_dir/packaging/polkit/49-vrnskdm-restart.rules" || fail "the polkit rule is not the example"
  cmp -s "$prefix/lib/systemd/user/vrnskdm.service" "$source_dir/packaging/systemd/vrnskdm.service" ||
    fail "the user unit is not the project's"

  # The manual page as man shows it, where groff finds nothing to warn about.
  page=$prefix/share/man/man1/vrnskdm.1.gz
  warnings=$(man --warnings -l "$page" 2>&1 >/dev/null) || fail "man cannot show $page: $warnings"
  [ -z "$warnings" ] || fail "the manual page draws warnings: $warnings"
  man -l "$page" 2>/dev/null | grep -q '^ *vrnskdm - ' || fail "the manual page is not vrnskdm(1)"
}

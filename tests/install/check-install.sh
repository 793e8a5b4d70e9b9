#!/usr/bin/env bash
# Installation checks, everything in a temporary folder:
#
#   check-install.sh tree BUILD_DIR
#       `cmake --install` puts every file in place; the desktop entry passes
#       desktop-file-validate and names an installed program and icon; the
#       man pages format without warnings and know every option that the
#       programs' --help lists; the installed programs run.
#   check-install.sh deb BUILD_DIR
#       The Debian package of `make package`: it declares a package for every
#       shared library the programs need, and its programs run when unpacked
#       into an empty root without LD_LIBRARY_PATH.
#
# Exit 77 (skipped) when a tool it needs is missing.
set -euo pipefail

mode=${1:?tree or deb}
build=$(cd "${2:?build folder}" && pwd)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config XDG_DATA_HOME=$tmp/home/.local/share
export XDG_RUNTIME_DIR=$tmp/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
skip() {
  echo "SKIP: $*"
  exit 77
}
need() {
  command -v "$1" >/dev/null || skip "$1 is not installed ($2)"
}

programs=(orvalink-nms orvalink-cli orvalink-sim)
files=(share/applications/orvalink-nms.desktop
  share/icons/hicolor/256x256/apps/orvalink-nms.png
  share/doc/orvalink-nms/README.md
  share/doc/orvalink-nms/docs/desktop.md
  share/doc/orvalink-nms/docs/screenshot.png
  share/snmp/mibs/ORVALINK-MIB
  lib/systemd/system/orvalink-monitor.service
  share/orvalink-nms/prometheus/orvalink-rules.yml)
for p in "${programs[@]}"; do
  files+=(bin/$p share/man/man1/$p.1)
done

# The installed programs start from the installed tree alone.
runs() {
  local root=$1 p out
  for p in orvalink-cli orvalink-sim; do
    if ! out=$(env -u LD_LIBRARY_PATH "$root/bin/$p" --help 2>&1); then
      fail "$p --help did not exit 0: $out"
    elif ! grep -q "^Usage: $p" <<<"$out"; then
      fail "$p --help printed no usage: $out"
    fi
  done
  for p in "${programs[@]}"; do
    if env -u LD_LIBRARY_PATH ldd "$root/bin/$p" | grep -q 'not found'; then
      fail "$p needs a library that is not there: $(ldd "$root/bin/$p" | grep 'not found')"
    fi
  done
}

case $mode in
tree)
  need desktop-file-validate "Debian package desktop-file-utils"
  need groff "Debian package groff-base"
  prefix=$tmp/prefix
  cmake --install "$build" --prefix "$prefix" >/dev/null
  for f in "${files[@]}"; do
    [[ -f $prefix/$f ]] || fail "not installed: $f"
  done
  for p in "${programs[@]}"; do
    [[ -x $prefix/bin/$p ]] || fail "not executable: bin/$p"
  done

  desktop=$prefix/share/applications/orvalink-nms.desktop
  if ! out=$(desktop-file-validate "$desktop" 2>&1) || [[ -n $out ]]; then
    fail "desktop-file-validate: $out"
  fi
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  [[ -x $prefix/bin/$exec_name ]] || fail "Exec=$exec_name is not an installed program"
  compgen -G "$prefix/share/icons/hicolor/*/apps/$icon_name.*" >/dev/null ||
    fail "Icon=$icon_name is not an installed icon"

  for p in "${programs[@]}"; do
    page=$prefix/share/man/man1/$p.1
    if ! out=$(groff -man -Tutf8 -ww -z "$page" 2>&1) || [[ -n $out ]]; then
      fail "$p.1 does not format cleanly: $out"
    fi
    grep -q "^$p \\\\- " "$page" || fail "$p.1 has no NAME line for $p"
  done
  # Every option of --help is in the man page (written there as \-\-name).
  for p in orvalink-cli orvalink-sim; do
    for opt in $("$prefix/bin/$p" --help 2>&1 | grep -o -- '--[a-z][a-z-]*' | sort -u); do
      grep -qF -- "${opt//-/\\-}" "$prefix/share/man/man1/$p.1" ||
        fail "$p.1 does not describe $opt"
    done
  done
  # The service unit is sound, run against the installed program.
  if command -v systemd-analyze >/dev/null; then
    unit=$tmp/orvalink-monitor.service
    sed "s|/usr/bin/orvalink-cli|$prefix/bin/orvalink-cli|" \
      "$prefix/lib/systemd/system/orvalink-monitor.service" >"$unit"
    out=$(systemd-analyze verify --man=no "$unit" 2>&1) || fail "systemd-analyze verify: $out"
  else
    echo "note: systemd-analyze is missing, the service unit was not verified"
  fi
  runs "$prefix"
  ;;

deb)
  need dpkg-deb "Debian package dpkg"
  need cpack "Debian package cmake"
  need objdump "Debian package binutils"
  [[ -f $build/CPackConfig.cmake ]] || skip "no CPackConfig.cmake in $build"
  (cd "$tmp" && cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) ||
    {
      cat "$tmp/cpack.log" >&2
      fail "cpack failed"
      exit 1
    }
  debs=("$tmp"/pkg/*.deb)
  [[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || {
    fail "cpack made no single .deb: ${debs[*]}"
    exit 1
  }
  deb=${debs[0]}

  listing=$(dpkg-deb -c "$deb")
  for f in "${files[@]}"; do
    grep -q " \./usr/$f\$" <<<"$listing" || fail "not in the package: /usr/$f"
  done

  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  declared=" $(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$depends" | xargs) "
  root=$tmp/root
  dpkg-deb -x "$deb" "$root"
  # Each library a program links directly comes from a declared package.
  for p in "${programs[@]}"; do
    for lib in $(objdump -p "$root/usr/bin/$p" | awk '/NEEDED/ {print $2}'); do
      path=$(ldd "$root/usr/bin/$p" | awk -v l="$lib" '$1 == l {print $3}')
      real=$(readlink -f "$path")
      owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$real" 2>/dev/null || true)
      owner=${owner%%:*}
      if [[ -z $owner ]]; then
        fail "$p: $lib ($path) belongs to no package"
      elif [[ $declared != *" $owner "* ]]; then
        fail "$p: $lib comes from $owner, which the package does not depend on"
      fi
    done
  done
  runs "$root/usr"
  ;;

*)
  echo "usage: $0 tree|deb BUILD_DIR" >&2
  exit 2
  ;;
esac

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "PASS: $mode"

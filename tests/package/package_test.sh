#!/usr/bin/env bash
# Builds the Debian packages from a build tree and checks them as Debian
# would: lintian (no error, no warning that is not overridden with a reason),
# the changelog's version, the programs' start, desktop-file-validate on the
# menu entry, and a C program built against the development package with
# pkg-config.
# Usage: package_test.sh BUILD_DIR C_SOURCE
set -euo pipefail
build=$(realpath "$1")
program_source=$(realpath "$2")
for tool in cpack lintian desktop-file-validate dpkg-parsechangelog pkg-config cc; do
  if ! command -v "$tool" >/dev/null; then
    echo "package test: $tool is missing (scripts/setup.sh installs it); skipped"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

# The packages land in ./packages, the staging trees in -B.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work" >cpack.log 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
mapfile -t debs < <(find "$work/packages" -name '*.deb' | sort)
[ ${#debs[@]} -eq 3 ] || fail "expected 3 packages, got: ${debs[*]}"

echo "--- lintian"
lintian --fail-on error,warning "${debs[@]}" || fail "lintian found errors or warnings"

root=$work/root
for deb in "${debs[@]}"; do
  dpkg-deb -x "$deb" "$root"
  package=$(dpkg-deb -f "$deb" Package)
  version=$(dpkg-deb -f "$deb" Version)
  changelog_version=$(dpkg-parsechangelog -l "$root/usr/share/doc/$package/changelog.gz" -S Version)
  [ "$changelog_version" = "$version" ] || fail "$package $version carries a changelog for $changelog_version"
done

echo "--- the unpacked programs start (their run path finds the unpacked library)"
for program in tervane tervane-cli ipcsim; do
  env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$program" --help >/dev/null || fail "$program --help failed"
done

echo "--- desktop-file-validate"
hints=$(desktop-file-validate "$root/usr/share/applications/tervane.desktop" 2>&1) || fail "$hints"
[ -z "$hints" ] || fail "$hints"

echo "--- a program built with pkg-config --cflags --libs kaltro_client"
pc=$(find "$root" -name kaltro_client.pc)
[ -n "$pc" ] || fail "no kaltro_client.pc in the packages"
export PKG_CONFIG_LIBDIR=$(dirname "$pc") PKG_CONFIG_SYSROOT_DIR=$root
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$work/uses_library" "$program_source" $(pkg-config --cflags --libs kaltro_client)
LD_LIBRARY_PATH=$(dirname "$(dirname "$pc")") "$work/uses_library"
echo "package test: passed"

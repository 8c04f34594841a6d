#!/usr/bin/env bash
# Builds the Debian package from this working tree into $BUILD/deb/ (default
# build/deb/) and checks what it built: lintian must find no error, and the
# packaged desktop entry and AppStream file must validate.
#   scripts/build-deb.sh     (make deb, ./run.sh deb)
# The package is built from a copy of the tree (tracked files and new ones
# git does not ignore), so dpkg-buildpackage never writes into the sources
# and nothing of a local build directory ends up in the package.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${BUILD:-build}/deb")"
jobs="${JOBS:-2}"

version="$(dpkg-parsechangelog -SVersion)"
project_version="$(sed -n 's/^project(Pathmere VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
if [ "$version" != "$project_version" ]; then
    echo "build-deb: debian/changelog is at $version but CMakeLists.txt at $project_version" >&2
    exit 1
fi

stage="$out/src/pathmere-$version"
rm -rf "$out"
mkdir -p "$stage"
git ls-files -z -co --exclude-standard \
    | tar --null -T - --ignore-failed-read -cf - 2>/dev/null \
    | tar -xf - -C "$stage"

echo "build-deb: building pathmere $version in $stage"
(cd "$stage" && DEB_BUILD_OPTIONS="parallel=$jobs ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -b -us -uc > "$out/build.log" 2>&1) || {
    tail -40 "$out/build.log"
    echo "build-deb: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
    exit 1
}
mv "$out"/src/*.deb "$out"/src/*.buildinfo "$out"/src/*.changes "$out"/
rm -rf "$out/src"
deb="$(ls "$out"/pathmere_"$version"_*.deb)"

status=0
echo "build-deb: lintian $(basename "$deb")"
lintian --fail-on error --display-info "$deb" || status=1

unpacked="$out/unpacked"
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked"/usr/share/applications/*.desktop || status=1
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml || status=1
rm -rf "$unpacked"

if [ "$status" -ne 0 ]; then
    echo "build-deb: $deb does not pass its checks" >&2
    exit 1
fi
echo "build-deb: $deb"
echo "install it with: sudo apt-get install $deb"

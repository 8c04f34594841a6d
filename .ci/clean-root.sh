#!/usr/bin/env bash
# Proves the README's set-up on a fresh Debian 12: builds a new root with
# mmdebstrap (git and CA certificates only, as a user who just cloned the
# project would have), clones the commit at HEAD into it and runs the
# README's commands there as root. Nothing is cached between runs, so a
# package missing from scripts/packages.txt fails the check.
#
#   .ci/clean-root.sh [COMMAND...]
#   default: "./run.sh test", "./run.sh demo" twice, then "./run.sh deb"
#
# The demo runs once where the program's name lookups of an unknown host fail
# at once (a resolver in its namespace that answers "no such name", as on most
# desks) and once where they hang (one that never answers), since code that
# waits on a lookup behaves differently in the two. The demo itself fails
# unless the window lists every simulated camera after "Search" and the
# camera "Factory default" is then selected.
#
# Fails when a command fails, when CTest reports a test as skipped or not
# run (unless the README names it as unable to run in a root), or when the
# demo leaves no screenshot. The package the last command builds is copied
# to build/clean-root/ for .ci/package-root.sh.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
. "$src/.ci/root-lib.sh"

if [ $# -eq 0 ]; then
    set -- "./run.sh test" \
        "PATHMERE_NETNS_RESOLVER=nxdomain ./run.sh demo" \
        "PATHMERE_NETNS_RESOLVER=silent ./run.sh demo" \
        "./run.sh deb"
fi

root_init
t0=$(date +%s)
root_create git,ca-certificates
root_mount

git clone -q --no-hardlinks "$src" "$root/root/pathmere"
git -C "$root/root/pathmere" checkout -q "$(git -C "$src" rev-parse HEAD)"

status=0
i=0
for cmd in "$@"; do
    i=$((i + 1))
    t1=$(date +%s)
    echo "clean-root: [$cmd] starting"
    rc=0
    root_run "$log/step$i.log" "cd /root/pathmere && $cmd" || rc=$?
    echo "clean-root: [$cmd] exit $rc after $(( $(date +%s) - t1 )) s"
    [ "$rc" -eq 0 ] || status=1
done

# A suite that skipped in the root counts as failed, unless the README names
# it as unable to run in a root.
allowed="$(sed -n '/^<!-- skipped-in-clean-root -->/,/^<!-- end -->/p' "$src/README.md" | grep -o 'tst_[A-Za-z0-9_]*\|[a-z_]*_setup' || true)"
skipped="$(cat "$log"/step*.log | grep -E '\*\*\*Skipped|\*\*\*Not Run|Not Run \(Disabled\)' | grep -oE 'Test +#[0-9]+: [^ ]+' | awk '{print $3}' | sort -u || true)"
for t in $skipped; do
    if grep -qx "$t" <<< "$allowed"; then
        echo "clean-root: $t skipped (named in the README)"
    else
        echo "clean-root: FAIL: $t was skipped or not run in the clean root"
        status=1
    fi
done
mkdir -p "$src/build/clean-root"
if printf '%s\n' "$@" | grep -q demo; then
    if [ -s "$root/root/pathmere/build/demo/pathmere-window.png" ]; then
        echo "clean-root: the demo saved build/demo/pathmere-window.png"
        cp "$root/root/pathmere/build/demo/pathmere-window.png" "$src/build/clean-root/" || true
    else
        echo "clean-root: FAIL: the demo saved no screenshot"
        status=1
    fi
fi
if printf '%s\n' "$@" | grep -q deb; then
    rm -f "$src"/build/clean-root/pathmere_*.deb
    if compgen -G "$root/root/pathmere/build/deb/pathmere_*.deb" >/dev/null; then
        cp "$root"/root/pathmere/build/deb/pathmere_*.deb "$src/build/clean-root/"
        echo "clean-root: the package is in build/clean-root/"
    else
        echo "clean-root: FAIL: no package was built"
        status=1
    fi
fi
echo "clean-root: $( [ $status = 0 ] && echo passed || echo FAILED ) in $(( $(date +%s) - t0 )) s"
exit $status

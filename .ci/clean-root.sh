#!/usr/bin/env bash
# Proves the README's set-up on a fresh Debian 12: builds a new root with
# mmdebstrap (git and CA certificates only, as a user who just cloned the
# project would have), clones the commit at HEAD into it and runs the
# README's two commands there as root. Nothing is cached between runs, so a
# package missing from scripts/packages.txt fails the check.
#
#   .ci/clean-root.sh [COMMAND...]   default: "./run.sh test" then "./run.sh demo"
#
# Fails when a command fails, when CTest reports a test as skipped or not
# run (unless the README names it as unable to run in a root), or when the
# demo leaves no screenshot.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "clean-root: needs root (mmdebstrap, mounts, chroot)" >&2; exit 1; }
command -v mmdebstrap >/dev/null 2>&1 || {
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
}

if [ $# -eq 0 ]; then
    set -- "./run.sh test" "./run.sh demo"
fi

work="$(mktemp -d /var/tmp/pathmere-clean-root.XXXXXX)"
root="$work/root"
log="$work/log"
mkdir -p "$log"

in_root_pids() {
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && echo "${p#/proc/}"
    done
}
cleanup() {
    local pids
    pids="$(in_root_pids || true)"
    [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
    # Namespaces the suites left in the root's /run, then our own mounts,
    # innermost first.
    grep -o " $root[^ ]*" /proc/self/mounts | sort -r | while read -r m; do umount -l "$m" 2>/dev/null || true; done
    # /tmp is bound into the root: never delete through a mount left behind.
    if grep -q " $root" /proc/self/mounts; then
        echo "clean-root: mounts remain under $root; not removing it" >&2
    else
        rm -rf --one-file-system "$work"
    fi
}
trap cleanup EXIT

# The same apt sources and options this machine uses.
sources="$work/sources"
: > "$sources"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -E '^[[:space:]]*deb[[:space:]]' "$f" >> "$sources" || true
done
if [ -s "$sources" ]; then
    mirror_args=("$sources")
else
    mirror_args=()
fi
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && mirror_args+=("$f")
done
apt_opts=()
for f in /etc/apt/apt.conf.d/*; do
    grep -qiE 'Acquire::(Check-Valid-Until|Check-Date|http::Proxy|https::Proxy)' "$f" 2>/dev/null && apt_opts+=(--aptopt="$f")
done

t0=$(date +%s)
echo "clean-root: building a fresh Debian 12 root in $root"
mmdebstrap --variant=apt --include=git,ca-certificates "${apt_opts[@]}" \
    bookworm "$root" "${mirror_args[@]}" > "$log/mmdebstrap.log" 2>&1 \
    || { tail -20 "$log/mmdebstrap.log"; exit 1; }
# https registries are reached here only through this machine's local CA
# certificates; a fresh root lacks them.
if compgen -G "/usr/local/share/ca-certificates/*.crt" >/dev/null; then
    cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/"
    chroot "$root" update-ca-certificates >/dev/null 2>&1 || true
fi
echo "clean-root: root ready after $(( $(date +%s) - t0 )) s"

# `ip netns exec` remounts / and needs it to be a mount point.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount -t tmpfs tmpfs "$root/run"
# X servers choose their display by the lock files in /tmp, but listen on
# abstract sockets that every root in this network namespace shares: with a
# /tmp of its own, an Xvfb in the root could take a display number an Xvfb
# outside already serves.
mount --bind /tmp "$root/tmp"

git clone -q --no-hardlinks "$src" "$root/root/pathmere"
git -C "$root/root/pathmere" checkout -q "$(git -C "$src" rev-parse HEAD)"

status=0
i=0
for cmd in "$@"; do
    i=$((i + 1))
    t1=$(date +%s)
    echo "clean-root: [$cmd] starting"
    set +e
    env -i HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        chroot "$root" /bin/bash -c "cd /root/pathmere && $cmd" < /dev/null 2>&1 | tee "$log/step$i.log"
    rc=${PIPESTATUS[0]}
    set -e
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
if printf '%s\n' "$@" | grep -q demo; then
    if [ -s "$root/root/pathmere/build/demo/pathmere-window.png" ]; then
        echo "clean-root: the demo saved build/demo/pathmere-window.png"
        mkdir -p "$src/build/clean-root" && cp "$root/root/pathmere/build/demo/pathmere-window.png" "$src/build/clean-root/" || true
    else
        echo "clean-root: FAIL: the demo saved no screenshot"
        status=1
    fi
fi
echo "clean-root: $( [ $status = 0 ] && echo passed || echo FAILED ) in $(( $(date +%s) - t0 )) s"
exit $status

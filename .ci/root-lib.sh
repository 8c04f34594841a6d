# Shared by the clean-root checks: a fresh Debian 12 root made with
# mmdebstrap, mounted so that chroot, `ip netns` and Xvfb work in it, and
# removed afterwards. Source it, then call root_create, root_mount, root_run.
# It sets: work (scratch folder), root (the root), log (logs).

root_init() {
    [ "$(id -u)" -eq 0 ] || { echo "clean-root: needs root (mmdebstrap, mounts, chroot)" >&2; exit 1; }
    command -v mmdebstrap >/dev/null 2>&1 || {
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq && apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
    }
    work="$(mktemp -d /var/tmp/pathmere-clean-root.XXXXXX)"
    root="$work/root"
    log="$work/log"
    mkdir -p "$log"
    trap root_cleanup EXIT
}

root_pids() {
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && echo "${p#/proc/}"
    done
}

root_cleanup() {
    local pids
    pids="$(root_pids || true)"
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

# root_create [package,...]: the apt variant plus the packages named, from
# the same apt sources and with the same options this machine uses.
root_create() {
    local include="${1:-}"
    local sources="$work/sources" f
    : > "$sources"
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && grep -E '^[[:space:]]*deb[[:space:]]' "$f" >> "$sources" || true
    done
    local mirror_args=()
    [ -s "$sources" ] && mirror_args=("$sources")
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && mirror_args+=("$f")
    done
    local apt_opts=()
    for f in /etc/apt/apt.conf.d/*; do
        grep -qiE 'Acquire::(Check-Valid-Until|Check-Date|http::Proxy|https::Proxy)' "$f" 2>/dev/null && apt_opts+=(--aptopt="$f")
    done
    local t0
    t0=$(date +%s)
    echo "clean-root: building a fresh Debian 12 root in $root"
    mmdebstrap --variant=apt ${include:+--include="$include"} "${apt_opts[@]}" \
        bookworm "$root" "${mirror_args[@]}" > "$log/mmdebstrap.log" 2>&1 \
        || { tail -20 "$log/mmdebstrap.log"; exit 1; }
    # https registries are reached here only through this machine's local CA
    # certificates; a fresh root lacks them.
    if compgen -G "/usr/local/share/ca-certificates/*.crt" >/dev/null \
        && [ -d "$root/usr/local/share/ca-certificates" ]; then
        cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/"
        chroot "$root" update-ca-certificates >/dev/null 2>&1 || true
    fi
    echo "clean-root: root ready after $(( $(date +%s) - t0 )) s"
}

root_mount() {
    # `ip netns exec` remounts / and needs it to be a mount point.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --rbind /dev "$root/dev"
    mount --make-rslave "$root/dev"
    mount -t tmpfs tmpfs "$root/run"
    # X servers choose their display by the lock files in /tmp, but listen on
    # abstract sockets that every root in this network namespace shares: with
    # a /tmp of its own, an Xvfb in the root could take a display number an
    # Xvfb outside already serves.
    mount --bind /tmp "$root/tmp"
}

# root_run LOGFILE COMMAND: runs COMMAND with bash in the root as root, with
# an empty environment, its output shown and kept; returns its exit status.
root_run() {
    local logfile="$1" cmd="$2" rc
    set +e
    env -i HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        chroot "$root" /bin/bash -c "$cmd" < /dev/null 2>&1 | tee "$logfile"
    rc=${PIPESTATUS[0]}
    set -e
    return "$rc"
}

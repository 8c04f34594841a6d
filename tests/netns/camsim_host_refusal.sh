#!/usr/bin/env bash
# camsim started in the namespace this test runs in must refuse with exit
# code 2 and say why, before it creates a single socket (checked with strace
# when it can trace). Two runs: with PATHMERE_HOST_NETNS naming this
# namespace (refused wherever the test runs), and, when this is the host's
# namespace by camsim's own rules, without any hint.
#
#   camsim_host_refusal.sh CAMSIM
set -u
camsim=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/camsim-refusal.XXXXXX")
trap 'rm -rf "$work"' EXIT
self=$(readlink /proc/self/ns/net) || { echo "cannot read /proc/self/ns/net"; exit 77; }
# Arguments that start the simulator anywhere else (no interface touched).
args=(--quiet --camera ip=192.0.2.10,mac=02:50:4d:00:00:99)

tracer=()
if command -v strace >/dev/null 2>&1 && strace -f -qq -o /dev/null true 2>/dev/null; then
    tracer=(strace -f -qq -e signal=none -e trace=socket,socketpair,bind -o "$work/trace")
else
    echo "note: strace cannot run here; only the exit code and message are checked"
fi

failures=0
check() {
    local label=$1; shift
    local rc=0
    # A camsim that wrongly starts is ended after a few seconds.
    env "$@" timeout 10 "$camsim" "${args[@]}" >"$work/out" 2>"$work/err" || rc=$?
    if [ "$rc" != 2 ]; then
        echo "FAIL $label: exit code $rc, expected 2"; failures=$((failures + 1))
    fi
    if ! grep -q "refusing to start in the host's network namespace" "$work/err"; then
        echo "FAIL $label: no refusal on stderr:"; cat "$work/err"; failures=$((failures + 1))
    fi
    if [ -s "$work/out" ]; then
        echo "FAIL $label: wrote to stdout:"; cat "$work/out"; failures=$((failures + 1))
    fi
    if [ ${#tracer[@]} -gt 0 ]; then
        # Traced once more for its sockets; the leak checker of a sanitized
        # build cannot work under a tracer.
        rm -f "$work/trace"
        env "$@" ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
            timeout 10 "${tracer[@]}" "$camsim" "${args[@]}" >/dev/null 2>&1
        if [ ! -f "$work/trace" ]; then
            echo "FAIL $label: no strace log"; failures=$((failures + 1))
        elif grep -Eq '(socket|socketpair|bind)\(' "$work/trace"; then
            echo "FAIL $label: sockets were created:"; cat "$work/trace"; failures=$((failures + 1))
        fi
    fi
    [ "$rc" = 2 ] && echo "ok $label: $(head -n1 "$work/err")"
}

check "hint names this namespace" PATHMERE_HOST_NETNS="$self"

# Is this the host's namespace by camsim's rules? PID 1's when readable,
# else the outermost readable ancestor's.
reference=$(readlink /proc/1/ns/net 2>/dev/null || true)
if [ -z "$reference" ]; then
    pid=$$
    while [ "$pid" -gt 1 ] 2>/dev/null; do
        ns=$(readlink "/proc/$pid/ns/net" 2>/dev/null) && reference=$ns
        pid=$(awk '/^PPid:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
        [ -n "$pid" ] || break
    done
fi
if [ "$reference" = "$self" ]; then
    check "host namespace, no hint" -u PATHMERE_HOST_NETNS
else
    echo "note: this test does not run in the host's namespace ($self, host $reference); run without hint skipped"
fi

[ "$failures" = 0 ] || exit 1

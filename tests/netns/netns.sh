#!/usr/bin/env bash
# Test LAN in network namespaces.
#
#   netns.sh [--adapters 1|2] [--routed] [--resolver nxdomain|silent] [--nat-bridge] -- COMMAND [ARG...]
#
# Builds a private LAN out of network namespaces, runs COMMAND inside the
# program's namespace and removes everything again when COMMAND ends, fails or
# the script is interrupted. Discovery, VISCA and Wake-on-LAN traffic of the
# tests therefore never leaves these namespaces.
#
#   <id>-prog   the program side; lan0 192.0.2.1/24 and, with --adapters 2,
#               lan1 198.51.100.1/24
#   <id>-cam1   cameras behind lan0: eth0 192.0.2.2/24
#   <id>-cam2   cameras behind lan1: eth0 198.51.100.2/24 (--adapters 2)
#
# --nat-bridge puts a NAT router between the program and the cameras, as a
# container's bridge network does: the program's only adapter is eth0
# 203.0.113.2/24 (a veth), its default route goes to 203.0.113.1 on a bridge
# named docker0 in <id>-nat, which forwards to lan0 192.0.2.1/24 and the
# cameras of <id>-cam1 (eth0 192.0.2.2/24), masquerading with nft where it is
# installed. The program's broadcasts end at the bridge.
#
# --routed (with --adapters 1) adds a routed site behind a router. The
# local LAN keeps 192.0.2.0/24; the site has the other documentation
# addresses, in two routed camera subnets and two /30 links:
#   <id>-rtr    the router: up0 203.0.113.2/30 towards the program's wan0
#               203.0.113.1/30, site0 203.0.113.5/30 towards the site, and
#               the camera subnets routed on to the site's 203.0.113.6
#   <id>-site   the site's own router with the cameras' subnets on it:
#               eth0 203.0.113.6/30 (cameras add theirs), default route via
#               203.0.113.5; listed last among the camera namespaces
# The routed camera subnets are 198.51.100.0/24 and 203.0.113.128/25; the
# program reaches them through the router and nothing else (203.0.113.8 to
# .127 have no route at all).
# The site is one next hop, not a link the router resolves address by
# address: a sweep across an Ethernet link leaves a neighbour entry (and,
# for an absent camera, a resolution timing out) per address swept.
#
# --resolver (or PATHMERE_NETNS_RESOLVER) gives the program side a name server
# of its own on 127.0.0.53 (resolver.py): "nxdomain" answers every lookup at
# once with "no such name", as an ordinary desk's resolver does for an unknown
# host; "silent" never answers, so lookups hang until they time out. Without
# it the program side uses the host's resolv.conf, whatever that does here.
#
# Every camera namespace has a default route on eth0, so a camera moved to an
# address outside the subnet can still answer. The namespace names carry a
# per-run id, so parallel test runs never meet.
#
# COMMAND sees:
#   PATHMERE_NETNS_PROG         program namespace name
#   PATHMERE_NETNS_CAMS         camera namespace names, blank-separated
#   PATHMERE_NETNS_CAM_IFACE    camera-side interface name (eth0)
#   PATHMERE_NETNS_PROG_ADDRS   program addresses, blank-separated, per camera namespace
#   PATHMERE_NETNS_CAM_ADDRS    camera namespace base addresses, same order
#   PATHMERE_NETNS_RESOLVER     nxdomain, silent, or empty (see --resolver)
#   PATHMERE_NETNS_TOPOLOGY     "nat" with --nat-bridge, else "lan"
#   PATHMERE_NETNS_ROUTER       the router namespace (--routed), else empty
#   PATHMERE_NETNS_SITE         the site namespace (--routed), else empty
# When namespaces cannot be created (not root, no ip(8), no kernel support),
# COMMAND runs with PATHMERE_NETNS_UNAVAILABLE=<reason> and no LAN, so a QtTest
# suite can QSKIP; the script then exits with 77, which CTest reports as
# skipped, never as passed.
set -u

SKIP_CODE=77
adapters=1
routed=0
resolver="${PATHMERE_NETNS_RESOLVER:-}"
topology=lan
while [ $# -gt 0 ]; do
    case "$1" in
        --adapters) adapters="$2"; shift 2 ;;
        --routed) routed=1; shift ;;
        --resolver) resolver="$2"; shift 2 ;;
        --nat-bridge) topology=nat; shift ;;
        --) shift; break ;;
        -h|--help) sed -n '2,62p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) break ;;
    esac
done
if [ $# -eq 0 ]; then
    echo "netns.sh: no command given" >&2
    exit 2
fi
case "$adapters" in 1|2) ;; *) echo "netns.sh: --adapters takes 1 or 2" >&2; exit 2 ;; esac
# The second adapter's LAN has 198.51.100.0/24, which the site needs; the NAT
# bridge has 203.0.113.0/24.
if [ "$routed" = 1 ] && { [ "$adapters" != 1 ] || [ "$topology" = nat ]; }; then
    echo "netns.sh: --routed takes --adapters 1 and no --nat-bridge" >&2
    exit 2
fi
routed_subnets="198.51.100.0/24 203.0.113.128/25"
case "$resolver" in ''|nxdomain|silent) ;; *) echo "netns.sh: --resolver takes nxdomain or silent" >&2; exit 2 ;; esac

id="pmt$$x$(printf '%04x' $((RANDOM)))"
prog="${id}-prog"
cams=()
created=()

cleanup() {
    local ns pid
    for ns in "${created[@]}"; do
        # Processes left inside our own namespaces (a crashed test's camsim)
        # are ours; end them by id before the namespace goes.
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill "$pid" 2>/dev/null
        done
    done
    sleep 0.1
    for ns in "${created[@]}"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill -9 "$pid" 2>/dev/null
        done
        ip netns delete "$ns" 2>/dev/null
        # ip netns exec binds /etc/netns/<name>/resolv.conf over the real one.
        rm -rf "/etc/netns/$ns"
    done
    created=()
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

skip_with() {
    local reason="$1"; shift
    echo "netns.sh: cannot build the test LAN: $reason; the test is skipped" >&2
    cleanup
    PATHMERE_NETNS_UNAVAILABLE="$reason" "$@"
    exit $SKIP_CODE
}

[ "$(id -u)" = 0 ] || skip_with "root is needed for network namespaces" "$@"
command -v ip >/dev/null 2>&1 || skip_with "ip(8) is not installed" "$@"

# A run that was killed outright (SIGKILL on a CTest time-out) had no chance
# to clean up; its namespaces carry its PID, so remove those whose creator is
# gone.
sweep_stale() {
    local ns pid owner
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
        case "$ns" in pmt*x*-prog|pmt*x*-cam[0-9]|pmt*x*-nat|pmt*x*-rtr|pmt*x*-site) ;; *) continue ;; esac
        owner="${ns#pmt}"; owner="${owner%%x*}"
        case "$owner" in ''|*[!0-9]*) continue ;; esac
        kill -0 "$owner" 2>/dev/null && continue
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
        ip netns delete "$ns" 2>/dev/null
        rm -rf "/etc/netns/$ns"
    done
}
sweep_stale

add_ns() {
    ip netns add "$1" 2>/dev/null || return 1
    created+=("$1")
    ip -n "$1" link set lo up || return 1
}

add_ns "$prog" || skip_with "ip netns add failed (no namespace support or no permission)" "$@"

prog_addrs=()
cam_addrs=()
if [ "$topology" = nat ]; then
    nat="${id}-nat"
    cam="${id}-cam1"
    add_ns "$nat" || skip_with "ip netns add failed" "$@"
    add_ns "$cam" || skip_with "ip netns add failed" "$@"
    ip -n "$nat" link add docker0 type bridge || skip_with "bridges are not available" "$@"
    ip -n "$prog" link add eth0 type veth peer name vethpm0 netns "$nat" \
        || skip_with "veth pairs are not available" "$@"
    ip -n "$nat" link set vethpm0 master docker0 || exit 1
    ip -n "$nat" addr add 203.0.113.1/24 broadcast 203.0.113.255 dev docker0 || exit 1
    ip -n "$prog" addr add 203.0.113.2/24 broadcast 203.0.113.255 dev eth0 || exit 1
    ip -n "$nat" link add lan0 type veth peer name eth0 netns "$cam" || exit 1
    ip -n "$nat" addr add 192.0.2.1/24 broadcast 192.0.2.255 dev lan0 || exit 1
    ip -n "$cam" addr add 192.0.2.2/24 broadcast 192.0.2.255 dev eth0 || exit 1
    for link in docker0 vethpm0 lan0; do ip -n "$nat" link set "$link" up || exit 1; done
    ip -n "$prog" link set eth0 up || exit 1
    ip -n "$cam" link set eth0 up || exit 1
    ip -n "$prog" route add default via 203.0.113.1 || exit 1
    ip -n "$cam" route add default dev eth0 || exit 1
    ip netns exec "$nat" sysctl -qw net.ipv4.ip_forward=1 || exit 1
    if command -v nft >/dev/null 2>&1; then
        printf 'table ip nat {\n chain post {\n type nat hook postrouting priority 100; policy accept;\n oifname "lan0" masquerade\n }\n}\n' \
            | ip netns exec "$nat" nft -f - || exit 1
    fi
    cams+=("$cam")
    prog_addrs+=("203.0.113.2")
    cam_addrs+=("192.0.2.2")
else
    subnets=("192.0.2" "198.51.100")
    for i in $(seq 1 "$adapters"); do
        cam="${id}-cam$i"
        net="${subnets[$((i - 1))]}"
        add_ns "$cam" || skip_with "ip netns add failed" "$@"
        # The pair is created inside the namespaces, so no name ever appears in
        # the host's own namespace.
        ip -n "$prog" link add "lan$((i - 1))" type veth peer name eth0 netns "$cam" \
            || skip_with "veth pairs are not available" "$@"
        ip -n "$prog" addr add "$net.1/24" broadcast "$net.255" dev "lan$((i - 1))" || exit 1
        ip -n "$cam" addr add "$net.2/24" broadcast "$net.255" dev eth0 || exit 1
        ip -n "$prog" link set "lan$((i - 1))" up || exit 1
        ip -n "$cam" link set eth0 up || exit 1
        ip -n "$cam" route add default dev eth0 || exit 1
        # A camera that moves drops its old address; keep the others it shares
        # the subnet with.
        ip netns exec "$cam" sysctl -qw net.ipv4.conf.all.promote_secondaries=1 \
            net.ipv4.conf.eth0.promote_secondaries=1 2>/dev/null
        cams+=("$cam")
        prog_addrs+=("$net.1")
        cam_addrs+=("$net.2")
    done
fi
router=""
site=""
if [ "$routed" = 1 ]; then
    router="${id}-rtr"
    site="${id}-site"
    add_ns "$router" || skip_with "ip netns add failed" "$@"
    add_ns "$site" || skip_with "ip netns add failed" "$@"
    ip -n "$prog" link add wan0 type veth peer name up0 netns "$router" || skip_with "veth pairs are not available" "$@"
    ip -n "$router" link add site0 type veth peer name eth0 netns "$site" || skip_with "veth pairs are not available" "$@"
    ip -n "$prog" addr add 203.0.113.1/30 dev wan0 || exit 1
    ip -n "$router" addr add 203.0.113.2/30 dev up0 || exit 1
    ip -n "$router" addr add 203.0.113.5/30 dev site0 || exit 1
    ip -n "$site" addr add 203.0.113.6/30 dev eth0 || exit 1
    for link in "$prog wan0" "$router up0" "$router site0" "$site eth0"; do
        ip -n "${link% *}" link set "${link#* }" up || exit 1
    done
    for net in $routed_subnets; do
        ip -n "$prog" route add "$net" via 203.0.113.2 dev wan0 || exit 1
        ip -n "$router" route add "$net" via 203.0.113.6 dev site0 || exit 1
    done
    ip -n "$site" route add default via 203.0.113.5 dev eth0 || exit 1
    ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1 || exit 1
    ip netns exec "$site" sysctl -qw net.ipv4.conf.all.promote_secondaries=1 \
        net.ipv4.conf.eth0.promote_secondaries=1 2>/dev/null
    cams+=("$site")
    prog_addrs+=("203.0.113.1")
    cam_addrs+=("203.0.113.6")
fi
# Skip duplicate address detection noise and wait until the links are up.
for ns in "${created[@]}"; do
    ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 2>/dev/null
done
for _ in $(seq 1 50); do
    if ! ip -n "$prog" -o link show | grep -q 'state DOWN\|state LOWERLAYERDOWN'; then
        break
    fi
    sleep 0.1
done

if [ -n "$resolver" ]; then
    mkdir -p "/etc/netns/$prog" && echo "nameserver 127.0.0.53" > "/etc/netns/$prog/resolv.conf" \
        || skip_with "cannot write /etc/netns/$prog/resolv.conf" "$@"
    ready="$(mktemp)"
    ip netns exec "$prog" python3 "$(dirname "$0")/resolver.py" --mode "$resolver" > "$ready" 2>&1 &
    for _ in $(seq 1 50); do grep -q ready "$ready" && break; sleep 0.1; done
    grep -q ready "$ready" || { cat "$ready" >&2; rm -f "$ready"; echo "netns.sh: the $resolver resolver did not start" >&2; exit 1; }
    rm -f "$ready"
fi

export PATHMERE_NETNS_PROG="$prog"
export PATHMERE_NETNS_CAMS="${cams[*]}"
export PATHMERE_NETNS_CAM_IFACE=eth0
export PATHMERE_NETNS_PROG_ADDRS="${prog_addrs[*]}"
export PATHMERE_NETNS_CAM_ADDRS="${cam_addrs[*]}"
export PATHMERE_NETNS_RESOLVER="$resolver"
export PATHMERE_NETNS_ROUTER="$router"
export PATHMERE_NETNS_SITE="$site"
export PATHMERE_NETNS_TOPOLOGY="$topology"
unset PATHMERE_NETNS_UNAVAILABLE

# In the background, so a TERM or INT reaches the traps at once (bash runs
# them only between commands); the cleanup then ends the command too.
ip netns exec "$prog" "$@" &
wait $!
exit $?

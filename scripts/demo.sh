#!/usr/bin/env bash
# make demo: the real Pathmere window on a simulated camera LAN.
#
# Installs what is missing, builds Pathmere and the camera simulator, starts a
# handful of simulated cameras in a network namespace and runs Pathmere in a
# namespace of its own, joined to the cameras by a veth pair. Only
# documentation addresses are used and no packet leaves these namespaces.
#
#   With a display ($DISPLAY reachable) the window opens there; press Ctrl+C
#   here to end the demo (closing the window only hides it in the tray).
#   Without a display (or with PATHMERE_DEMO_HEADLESS=1) Pathmere runs on
#   Xvfb, "Search" is clicked like a user would, the list is sorted by device
#   name and the camera "Factory default" selected, and a screenshot of the
#   window is saved to $BUILD/demo/pathmere-window.png (PATHMERE_DEMO_SHOT
#   overrides). The demo fails, with the reason in one line, unless the
#   window lists all five cameras after "Search" and "Factory default" is
#   then selected (read from the program's log). The README's picture, docs/pathmere-window.png, is only ever
#   refreshed by copying that file by hand.
#
# Needs root (ip netns), or unprivileged user namespaces (unshare -Urn).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
export BUILD=${BUILD:-build}
bin="$repo/$BUILD/bin"
shot=${PATHMERE_DEMO_SHOT:-$repo/$BUILD/demo/pathmere-window.png}

# Varied cameras: broadcast and unicast answers, short and long replies, a
# DHCP camera and one that still sits in another subnet (the usual reason to
# run the tool).
cameras=(
    --camera "mac=02:50:4d:10:00:01,model=PTZ-X20,name=Auditorium,fw=2.4.0,ip=192.0.2.10,reply=long,serial=PX20-0001,send=broadcast"
    --camera "mac=02:50:4d:10:00:02,model=PTZ-X20,name=Lobby,fw=2.4.0,ip=192.0.2.11,dhcp=1,reply=both"
    --camera "mac=02:50:4d:10:00:03,model=BOX-4K,name=Parking North,fw=3.1.2,ip=192.0.2.12,gateway=192.0.2.1,dns1=192.0.2.53"
    --camera "mac=02:50:4d:10:00:04,model=DOME-M3,name=Stairwell,fw=1.9.7,ip=192.0.2.13,reply=short,send=unicast"
    --camera "mac=02:50:4d:10:00:05,model=BOX-4K,name=Factory default,fw=3.0.0,ip=203.0.113.20,send=broadcast"
)

# Processes this script started; the exit trap ends them by id.
pids=()

say() { echo "demo: $*"; }
die() { echo "demo: $*" >&2; exit 1; }

needs_message() {
    cat >&2 <<'MSG'
demo: cannot build the simulated camera LAN here. It needs network namespaces:
  - run as root (sudo ./run.sh demo), or
  - allow unprivileged user namespaces, e.g. on Debian/Ubuntu:
      sudo sysctl -w kernel.unprivileged_userns_clone=1
      sudo sysctl -w user.max_user_namespaces=15000
    (and, on Ubuntu 24.04 or later, kernel.apparmor_restrict_unprivileged_userns=0)
`make run` starts Pathmere on the real network instead.
MSG
}

headless() {
    [ "${PATHMERE_DEMO_HEADLESS:-0}" = 1 ] && return 0
    [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null 2>&1 && xdpyinfo >/dev/null 2>&1 && return 1
    return 0
}

# The demo's outcome is read from what the program reports (its log), never
# from a guess at pixels: the line the window writes once it has filled the
# table, and the one it writes when a row is selected.
expected=$(( ${#cameras[@]} / 2 ))
fail() { echo "demo: FAIL: $*" >&2; exit 1; }

# wait_for_log REGEX SECONDS: prints the last matching log line, or fails.
wait_for_log() {
    local pattern="$1" seconds="$2" line i
    for i in $(seq 1 $(( seconds * 10 ))); do
        line=$(find "$HOME/Documents/Tolvik/Log" -name 'TolvikPathmere-*.log' -exec cat {} + 2>/dev/null \
            | grep -E "$pattern" | tail -n1)
        [ -n "$line" ] && { echo "$line"; return 0; }
        sleep 0.1
    done
    return 1
}

# Names the other windows on the screen (a box nobody asked for takes the
# click meant for the window), as ": a window \"Title\" covers it".
covering_windows() {
    local main="$1" id name names=()
    for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
        [ "$id" = "$main" ] && continue
        name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
        [ -n "$name" ] && names+=("\"$name\"")
    done
    [ ${#names[@]} -gt 0 ] && echo ": a window ${names[*]} covers it"
    return 0
}

# --- inside the program's namespace ------------------------------------------
program_side() {
    if [ -n "${PATHMERE_NETNS_UNAVAILABLE:-}" ]; then
        echo "demo: $PATHMERE_NETNS_UNAVAILABLE" >&2
        needs_message
        exit 77
    fi
    local camexec
    if [ -n "${PATHMERE_DEMO_CAM_EXEC:-}" ]; then
        read -r -a camexec <<<"$PATHMERE_DEMO_CAM_EXEC"
    else
        camexec=(ip netns exec "${PATHMERE_NETNS_CAMS%% *}")
    fi
    ip link set lo up 2>/dev/null || true

    work=$(mktemp -d "${TMPDIR:-/tmp}/pathmere-demo.XXXXXX")
    finish() {
        local pid
        for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
        for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
        rm -rf "$work"
    }
    trap finish EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    "${camexec[@]}" "$bin/camsim" --interface eth0 --quiet "${cameras[@]}" >"$work/camsim.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 1 100); do
        grep -q '"event":"ready"' "$work/camsim.log" 2>/dev/null && break
        sleep 0.1
    done
    grep -q '"event":"ready"' "$work/camsim.log" || { cat "$work/camsim.log" >&2; die "camsim did not start"; }
    say "$(( ${#cameras[@]} / 2 )) simulated cameras are up behind adapter lan0 (192.0.2.1)"

    # A shared-memory segment of its own, so a Pathmere already running in
    # this session is not asked to show itself instead.
    export XDG_SESSION_ID="pathmere-demo-$$"
    # Qt keeps the segment's key files in the temp folder; keep them in ours.
    mkdir -p "$work/tmp"
    export TMPDIR="$work/tmp"

    if ! headless; then
        say "the window opens on $DISPLAY: choose lan0, press Search, select a camera and Apply (user admin, password admin)"
        say "press Ctrl+C here to end the demo"
        "$bin/Pathmere" &
        pids+=($!)
        wait "${pids[-1]}" || true
        return 0
    fi

    command -v Xvfb >/dev/null || die "Xvfb is missing (package xvfb)"
    command -v xdotool >/dev/null || die "xdotool is missing (package xdotool)"
    command -v import >/dev/null || die "import is missing (package imagemagick)"
    export HOME="$work/home"
    mkdir -p "$HOME"
    unset XDG_CONFIG_HOME XDG_DATA_HOME XAUTHORITY
    Xvfb -displayfd 3 -dpi 96 -screen 0 1280x900x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    pids+=($!)
    for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; die "Xvfb did not start"; }
    export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
    export QT_QPA_PLATFORM=xcb
    unset QT_SCALE_FACTOR QT_AUTO_SCREEN_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI

    "$bin/Pathmere" >"$work/pathmere.log" 2>&1 &
    pids+=($!)
    local wid
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Pathmere$' | head -n1) \
        || { cat "$work/pathmere.log" >&2; die "the Pathmere window did not appear"; }
    sleep 1
    # Design units at 96 DPI: "Search" is at 290,40 (101 x 31). The table
    # starts at 20,150 with a header about 20 high, then rows 30 high; the
    # "Device Name" column spans x 360..480 of the window. Replies arrive in
    # any order, so the list is sorted by name first (one click sorts
    # ascending): Auditorium, Factory default, Lobby, Parking North,
    # Stairwell. The second row (y 200..230) is then always "Factory
    # default", the camera in another subnet.
    say "clicking Search"
    xdotool mousemove --window "$wid" 340 55 click 1
    local listed
    listed=$(wait_for_log 'Pathmere lists [0-9]+ devices\.' 15 | grep -oE '[0-9]+' | tail -n1 || true)
    if [ "${listed:-0}" != "$expected" ]; then
        mkdir -p "$(dirname "$shot")"; import -window root "$shot" 2>/dev/null || true
        fail "the window lists ${listed:-no} cameras after Search, not $expected$(covering_windows "$wid") (screen: $shot)"
    fi
    say "the window lists $listed cameras"
    say "sorting by device name and selecting \"Factory default\""
    xdotool mousemove --window "$wid" 421 160 click 1
    sleep 0.5
    xdotool mousemove --window "$wid" 421 215 click 1
    if ! wait_for_log 'Pathmere selected device Factory default ' 5 >/dev/null; then
        mkdir -p "$(dirname "$shot")"; import -window root "$shot" 2>/dev/null || true
        fail "\"Factory default\" is not selected after the click$(covering_windows "$wid") (screen: $shot)"
    fi
    sleep 0.7
    mkdir -p "$(dirname "$shot")"
    import -window "$wid" "$shot"
    local answered
    answered=$(grep -c '"event":"query"' "$work/camsim.log" || true)
    say "camsim saw $answered queries; \"Factory default\" is selected"
    say "screenshot saved to $shot"
    say "(the README's docs/pathmere-window.png is refreshed by copying it there)"
}

# --- a LAN without root: user namespace, camera side in a child namespace ----
userns_lan() {
    ip link set lo up
    unshare -n sleep infinity &
    holder=$!
    pids+=("$holder")
    trap 'kill "$holder" 2>/dev/null || true' EXIT
    sleep 0.2
    ip link add lan0 type veth peer name eth0 netns "$holder" \
        || { echo "demo: veth pairs are not available in a user namespace here" >&2; needs_message; exit 77; }
    ip addr add 192.0.2.1/24 broadcast 192.0.2.255 dev lan0
    ip link set lan0 up
    nsenter -t "$holder" -n sh -c '
        ip link set lo up &&
        ip addr add 192.0.2.2/24 broadcast 192.0.2.255 dev eth0 &&
        ip link set eth0 up &&
        ip route add default dev eth0'
    export PATHMERE_DEMO_CAM_EXEC="nsenter -t $holder -n"
    program_side
}

case "${1:-}" in
    --program-side) program_side; exit 0 ;;
    --userns) userns_lan; exit 0 ;;
    "") ;;
    *) die "unknown argument $1" ;;
esac

# --- outside: dependencies, build, then into the LAN -------------------------
"$repo/scripts/install-deps.sh"
say "building Pathmere, camsim and Hallbridge in $BUILD/"
cmake -S "$repo" -B "$repo/$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$repo/$BUILD" -j"${JOBS:-2}" --target Pathmere camsim Hallbridge >/dev/null

# camsim refuses to run in the namespace it is started from; naming it
# helps where the kernel hides other processes' namespaces (unshare -Urn).
PATHMERE_HOST_NETNS=$(readlink /proc/self/ns/net 2>/dev/null || true)
export PATHMERE_HOST_NETNS

if [ "$(id -u)" = 0 ]; then
    rc=0
    "$repo/tests/netns/netns.sh" -- "$0" --program-side || rc=$?
    [ "$rc" = 77 ] && exit 1
    exit "$rc"
fi
if unshare -Urn true 2>/dev/null; then
    exec unshare -Urn -- "$0" --userns
fi
needs_message
exit 1

#!/usr/bin/env bash
# Runs inside a fresh Debian 12 root with the package at /root/: installs it
# with apt as a user would, checks that the program starts and writes its log,
# that the command-line tool and the autostart helper work and that the
# desktop files validate, then removes it and checks that it left nothing in
# /usr. The program runs in a network namespace of its own with only
# loopback, so its start-up search cannot reach any network.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
fail() { echo "package-check: FAIL: $*"; exit 1; }
ok() { echo "package-check: ok: $*"; }

deb="$(ls /root/pathmere_*_*.deb)"
apt-get update -qq
find /usr -not -type d | sort > /root/usr-before

apt-get install -y -q "$deb" > /root/install.log 2>&1 || { tail -30 /root/install.log; fail "apt-get install $deb"; }
ok "apt-get install $(basename "$deb")"
dpkg -L pathmere | sort > /root/pathmere-files
for f in /usr/bin/pathmere /usr/bin/pathmere-cli /usr/lib/pathmere/Pathmere /usr/lib/pathmere/Hallbridge; do
    [ -x "$f" ] || fail "$f is not installed as a program"
done

# The checks' own tools come after the install, so they cannot have supplied
# anything the package needs.
apt-get install -y -q --no-install-recommends desktop-file-utils appstream iproute2 > /root/tools.log 2>&1 \
    || { tail -20 /root/tools.log; fail "installing the checking tools"; }

desktop-file-validate /usr/share/applications/org.pathmere.Pathmere.desktop || fail "desktop-file-validate"
ok "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/org.pathmere.Pathmere.metainfo.xml || fail "appstreamcli validate"
ok "appstreamcli validate"

pathmere-cli --help > /root/cli-help.txt 2>&1 || fail "pathmere-cli --help: $(cat /root/cli-help.txt)"
grep -q "search" /root/cli-help.txt || fail "pathmere-cli --help printed no usage"
ok "pathmere-cli --help"

home="$(mktemp -d /root/home.XXXXXX)"
HOME="$home" /usr/lib/pathmere/Hallbridge 1 || fail "Hallbridge 1"
entry="$home/.config/autostart/Pathmere.desktop"
grep -qx 'Exec=/usr/lib/pathmere/Pathmere -hide' "$entry" || fail "autostart entry: $(grep Exec "$entry")"
desktop-file-validate "$entry" || fail "the autostart entry does not validate"
HOME="$home" /usr/lib/pathmere/Hallbridge 0 || fail "Hallbridge 0"
[ ! -e "$entry" ] || fail "Hallbridge 0 left $entry"
ok "Hallbridge writes an autostart entry for /usr/lib/pathmere/Pathmere and removes it"

# Started through the /usr/bin link, as the desktop entry does.
unshare --net bash -c '
    ip link set lo up
    HOME="$1" QT_QPA_PLATFORM=offscreen pathmere > "$1/stdout.txt" 2>&1 &
    pid=$!
    for i in $(seq 100); do
        [ -n "$(find "$1/Documents" -name "TolvikPathmere-*.log" 2>/dev/null)" ] && break
        sleep 0.1
    done
    sleep 1
    kill -0 $pid || { echo "Pathmere ended early:"; cat "$1/stdout.txt"; exit 1; }
    kill $pid; wait $pid || true
' starter "$home" || fail "Pathmere did not start"
logfile="$(find "$home/Documents/Tolvik/Log" -name "TolvikPathmere-*.log" 2>/dev/null | head -1 || true)"
[ -n "$logfile" ] && [ -s "$logfile" ] || fail "Pathmere wrote no log file"
ok "Pathmere started offscreen and wrote $(basename "$logfile") ($(wc -l < "$logfile") lines)"
rm -rf "$home"

apt-get remove -y -q pathmere > /root/remove.log 2>&1 || { tail -20 /root/remove.log; fail "apt-get remove pathmere"; }
left=""
while read -r f; do
    [ -e "$f" ] || [ -L "$f" ] || continue
    # Folders others share stay; one of ours left behind shows up below.
    [ -d "$f" ] && [ ! -L "$f" ] && continue
    case "$f" in /etc/*) continue ;; esac # conffiles stay until purge
    left="$left $f"
done < /root/pathmere-files
[ -z "$left" ] || fail "apt-get remove left:$left"
[ ! -e /usr/lib/pathmere ] || fail "apt-get remove left /usr/lib/pathmere"
# No file new in /usr that no package owns, apart from the caches other
# packages' triggers rebuild. dpkg may name a file by its path before the
# /usr merge (/bin/fuser for /usr/bin/fuser).
find /usr -not -type d | sort > /root/usr-after
cat /var/lib/dpkg/info/*.list \
    | sed -e p -e 's#^/\(bin\|sbin\|lib\|lib32\|lib64\|libx32\)/#/usr/\1/#' | sort -u > /root/owned
stray="$(comm -13 /root/usr-before /root/usr-after | comm -23 - /root/owned \
    | grep -vE '/(icon-theme\.cache|mimeinfo\.cache|immodules\.cache|gschemas\.compiled|giomodule\.cache|loaders\.cache|locale-archive)$|\.pyc$|^/usr/share/info/dir$|^/usr/share/mime/' || true)"
left=""
for f in $stray; do
    # update-alternatives links belong to the packages that registered them.
    case "$(readlink "$f" 2>/dev/null)" in /etc/alternatives/*) continue ;; esac
    left="$left $f"
done
[ -z "$left" ] || fail "apt-get remove left files no package owns in /usr:$left"
ok "apt-get remove left nothing in /usr"

#include "camsimconfig.h"

#include "networksafety.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

static const char *const DefaultBaseIp = "192.0.2.10";

QString CamsimConfig::manual()
{
    return QStringLiteral(R"(camsim - simulated network cameras for the discovery protocols

SYNOPSIS
  camsim [--interface IFACE] [--camera SPEC]... [--fleet N] [OPTIONS]
  camsim --config FILE [OPTIONS]

DESCRIPTION
  camsim plays one or many cameras on the network namespace it runs in. It
  answers the utility search on UDP port 8000, applies or refuses settings
  records, answers VISCA over IP power inquiries and commands on UDP port
  52381 and logs every Wake-on-LAN packet that reaches UDP port 33333.

  It sends real broadcast traffic. Run it only inside a network namespace of
  a test LAN (see tests/netns/netns.sh), never on a real network, and give
  the cameras documentation addresses only (192.0.2.0/24, 198.51.100.0/24,
  203.0.113.0/24). camsim enforces both (see NETWORK SAFETY).

  Everything camsim sees or does is written to stdout as one JSON object per
  line (see EVENTS). It runs until SIGTERM or SIGINT, then removes the
  addresses it added and exits with 0.

OPTIONS
  -c, --camera SPEC      Add one camera. SPEC is a comma-separated list of
                         key=value pairs (see CAMERA KEYS); keys left out get
                         generated values. Repeat for more cameras.
  -n, --fleet N          Add N generated cameras (distinct MAC, name and
                         serial number). Fleet cameras do not own their
                         addresses (own=0): their replies leave from the
                         namespace's own address while reporting theirs.
                         Every fleet camera answers a query in one burst.
      --fleet-base-ip A  First reported address of the fleet, counted up
                         inside A's /24 (default 192.0.2.10).
  -i, --interface IFACE  Let cameras own their addresses on IFACE: each
                         camera's IPv4 address is added to IFACE at start
                         (unless present already) with the prefix of its
                         mask, moved when a settings change gives it a new
                         address, and removed at exit. Without this option
                         no address is touched and a camera answers VISCA
                         only when its address is already local.
  -f, --config FILE      Read cameras from a JSON file (see CONFIG FILE).
                         Cameras of --camera are added after those of FILE.
  -q, --quiet            Leave out the "reply" event of each datagram sent;
                         the "query" summary still comes.
      --KEY VALUE        Any camera key given as an option (for example
                         --reply long, --send broadcast, --power silent,
                         --model X, --user U, --password P) is the default
                         for every camera; a SPEC's own keys win.
      --print-config     Print the cameras as configured (every camera key
                         with its value, as one JSON object) and exit
                         without opening a socket or touching an address.
  -h, --help             Show this manual.

CAMERA KEYS
  mac=XX:XX:XX:XX:XX:XX  MAC address (default 02:50:4d:00:00:<n>)
  model=TEXT             model name (default SIM-CAM100)
  name=TEXT              device name (default CAM-<n>, n with 5 digits)
  fw=TEXT                firmware version (default 1.0.0); also firmware=
  ipv6=TEXT              IPv6 address text (default 2001:db8::<n>)
  serial=TEXT            serial number, sent in the long reply only
  ip=A.B.C.D             IPv4 address (default 192.0.2.<9+n>)
  mask=A.B.C.D           subnet mask (default 255.255.255.0)
  gateway=A.B.C.D        default gateway (default the first address of the
                         camera's own subnet: A.B.C.1 of its ip= with the
                         default mask; follows ip= and mask=)
  dns1=A.B.C.D, dns2=A.B.C.D   DNS servers (default dns1 the same first
                         address of the camera's subnet, dns2 0.0.0.0)
  dhcp=0|1               reports "dhcp" when 1 (default 0)
  user=TEXT, password=TEXT     credentials for settings (default admin/admin)
  reply=short|long|both  short: 253-byte reply to every query; long:
                         282-byte reply (with serial number) to every query;
                         both: short reply to query A, long reply to query B
                         (default short)
  queries=a|b|ab         which of the two queries the camera answers
                         (default ab)
  send=unicast|broadcast unicast: reply to the query's sender address and
                         port; broadcast: reply to 255.255.255.255:8000
                         (default unicast)
  power=on|standby|silent  VISCA power state (default standby); a silent
                         camera never answers VISCA
  own=0|1                whether the camera owns its address (default 1;
                         0 for fleet cameras)
  lose=N                 the camera ignores the first N queries that reach
                         it, as if they were lost on the way (default 0)
  kind=utility|doccam|box|onvif  what the camera is (default utility): a
                         camera of the utility search, a wireless document
                         camera (SSDP on port 1900 and an HTTP description),
                         a power-management control box (port 1988) or
                         another maker's camera (WS-Discovery on port 3702
                         and an ONVIF device service over HTTP). Only
                         utility cameras answer the utility search.

  Document camera keys (kind=doccam; name, serial, model, mac, ip and fw
  above fill the description too). A document camera that owns its address
  serves its description there; fleet document cameras (own=0, e.g.
  --fleet N --kind doccam) answer from the namespace's address and share one
  server on every address at their httpport, path /cam/<n>.xml, which keeps
  connections open for further requests:
  encodedname=TEXT       the name field exactly as sent, already in the
                         6-bit code (default: name= encoded)
  macfield=TEXT          the MAC field as sent, e.g. 00-11-22-AA-BB-CC or
                         001122AABBCC (default: mac= with "-", upper case)
  bssid=TEXT             the BSSID field as sent (default 02-00-00-00-00-01)
  number=TEXT, address=TEXT, hextext=TEXT, text=TEXT   the other fields
                         (defaults 1, the camera's ip, empty, empty)
  udn=TEXT               the UDN element's text (default uuid:<from mac>)
  passcode=TEXT, major=N, minor=N, isp=N   the optional elements usePasscode,
                         major, minor and ispState (default: left out);
                         fwversion always carries fw=
  location=URL           the LOCATION sent (default
                         http://<ip>:<httpport>/description.xml)
  httpport=N             the description server's port (default 49152)
  http=ok|stall|huge     ok: serve the description; stall: accept the
                         connection and never answer; huge: send a
                         description padded to 32 MiB (default ok)
  nts=TEXT               add "NTS: ssdp:TEXT" to the answer (default none)
  maxage=N               CACHE-CONTROL max-age (default 1800; negative
                         leaves the header out)

  Control box keys (kind=box):
  boxmac=TEXT            the text after "MAC:" exactly as sent (default:
                         mac= in upper case, no space)
  boxtype=TEXT           the text after "Type:" exactly as sent (default:
                         no Type line)
  boxport=1988|1688      the program port the message goes to (default 1988)

  ONVIF camera keys (kind=onvif; name=, model=, mac=, ip=, mask=, gateway=,
  dns1=, dns2=, fw=, serial=, user= and password= fill its answers too):
  onvif-clock=OFFSET     the camera's clock against the namespace's, e.g.
                         +5h, -30m, 90s or -3600 (seconds; default 0)
  onvif-port=N           the device service's HTTP port (default 80)
  onvif-uuid=UUID        the endpoint's UUID (default from mac=)
  onvif-apply=take|ignore  take: a new address is taken; ignore: the camera
                         answers SetNetworkInterfaces with success and keeps
                         its old address (default take)
  onvif-reboot=0|1       1: SetNetworkInterfaces answers RebootNeeded and the
                         new address is taken only by SystemReboot (default 0)
  onvif-skip=N           the camera misses the first N Probes it hears (a
                         repeated copy counts; default 0)
  onvif-location=TEXT    a location scope (default none)
  onvif-xaddr=URL        the XAddr announced instead of the camera's own

BEHAVIOUR
  Utility search (port 8000): a 240-byte Base64 datagram holding query A or
  query B is answered by every camera that answers that query, with the form
  its reply= key selects, by its send= mode; a query sent by unicast to an
  address a camera owns is answered by that camera alone. Owned addresses are used as the
  reply's source address.
  Settings records: a record whose MAC matches a camera is applied when its
  user ID and password match the camera's: with mode "eth0" the camera takes
  address, mask, gateway and both DNS servers from the record and moves to
  the new address; with mode "dhcp" it keeps its address (there is no DHCP
  server in a test LAN) and reports dhcp. A non-empty name in the record
  becomes the camera's name. The camera then sends its reply (long form
  unless reply=short) from its new address. With wrong credentials it sends
  a datagram containing "Invalid ID" instead. Records for other MACs are
  logged and otherwise ignored.
  VISCA over IP (port 52381): the camera whose address is the datagram's
  destination answers. Power inquiry 81 09 04 00 FF: 90 50 02 FF when on,
  90 50 03 FF in standby. Power on 81 01 04 00 02 FF and standby
  81 01 04 00 03 FF: acknowledge 90 41 FF, then completion 90 51 FF, and
  the state changes. Other commands are acknowledged and completed, other
  inquiries get the syntax error 90 60 02 FF. Every reply carries the
  sequence number of the message it answers. A silent camera answers nothing.
  Wake-on-LAN (port 33333): every datagram is logged; a magic packet for a
  camera's MAC wakes a silent camera, which is then on.
  Document cameras (UDP port 1900, group 239.255.255.250 joined on the
  namespace's interfaces): an M-SEARCH for the document camera type is
  answered by every document camera with "HTTP/1.1 200 OK" and its LOCATION,
  unicast to the sender, from the camera's own address. Each serves its
  description over HTTP on its own address and httpport.
  Control boxes (UDP port 1988, the same group): the program's announcement
  is answered by every box with its M-SEARCH-style message, unicast to the
  announcement's sender on the box's boxport, from the box's own address.

  ONVIF cameras (UDP port 3702, group 239.255.255.250 joined on the
  namespace's interfaces): a Probe whose types the camera has (tds:Device and
  dn:NetworkVideoTransmitter) is answered after a random delay of up to
  500 ms with ProbeMatches, unicast to the Probe's source address and port,
  from the camera's own address, and repeated once as SOAP-over-UDP has it;
  a camera answers each MessageID once. Each owned camera multicasts Hello
  at start and Bye at stop. The device service (POST
  /onvif/device_service on the camera's address and onvif-port; fleet
  cameras share one server, path /onvif/device_service/<n>) answers
  GetSystemDateAndTime without login and GetDeviceInformation,
  GetNetworkInterfaces, GetNetworkDefaultGateway, GetDNS,
  SetNetworkInterfaces, SetNetworkDefaultGateway, SetDNS and SystemReboot
  only with a WS-UsernameToken digest of user=/password= created within
  5 minutes of the camera's own clock; otherwise a ter:NotAuthorized fault
  (HTTP 400). A reboot takes one second, during which the camera is silent,
  and ends with a Hello from the new address.

NETWORK SAFETY
  camsim refuses to start, with a message on stderr and exit code 2, in the
  host's own network namespace: the one of PID 1, or, when PID 1's cannot be
  read, the one of the outermost ancestor process it may read (an
  unprivileged "unshare -Urn" namespace has no readable ancestor outside
  and passes because it belongs to a user namespace of its own).
  PATHMERE_HOST_NETNS may name the host's namespace as well (a path such as
  /proc/<pid>/ns/net, or "net:[N]"). The check is made before any socket
  exists; --help and --print-config open none and are always allowed.
  With --interface, only documentation addresses (192.0.2.0/24,
  198.51.100.0/24, 203.0.113.0/24) are ever added to the interface: an owned
  camera with another ip= is an error at start, and a settings record
  moving a camera elsewhere is still applied and answered as the camera
  would (it then reports the new address), but the camera keeps standing on
  its old address and an "address" event says the new one was refused.

EVENTS (stdout, one JSON object per line)
  Every event has "event", "t" (ms since start, monotonic) and "wall" (ms
  since the epoch).
  ready     sockets bound, addresses claimed: "cameras", "addresses"
  query     a query arrived: "query" (A or B), "from", "to", "replies"
            (datagrams sent), "failed", "lost" (ignored by lose=)
  reply     one reply sent: "mac", "form" (short/long), "bytes", "to", "from"
  settings  a settings record: "mac", "result" (applied, refused or
            no-camera), "from", "to" (the address it was sent to), "dhcp",
            "ip", "oldIp", "mask", "gateway", "dns1", "dns2", "name", "user"
  record    a 240-byte record that is neither a query nor settings
  visca     a VISCA datagram: "camera" (MAC or null), "to", "from", "type"
            (hex), "seq", "payload" (hex), "answer" (list of reply payloads)
  address   an address camsim would not add to the interface: "mac",
            "ip", "kept" (the address the camera stays on), "result"
            (refused), "message"
  power     a power state change: "mac", "from", "to"
  wol       a Wake-on-LAN datagram: "from", "to", "bytes", "mac" (empty
            when not a magic packet), "camera" (MAC or null)
  ssdp-search   an M-SEARCH for document cameras: "from", "to", "answers"
  ssdp-answer   one answer sent: "mac", "to", "location", "sent"
  description   an HTTP request to a document camera: "mac", "from",
            "path", "http" (ok, stall or huge), "bytes" (body size sent)
  description-closed  that connection ended: "mac", "written" (bytes the
            program took), "size" (bytes of the response), "error"
  box-announcement  an announcement arrived: "from", "to", "messages"
  box-message   one box message sent: "mac", "to", "sent"
  onvif-probe   a Probe arrived: "from", "to", "messageId", "answers",
            "missed" (cameras that missed it on purpose)
  onvif-answer  one ProbeMatches sent: "mac", "to", "sent"
  onvif-hello, onvif-bye  an announcement sent: "mac", "ip", "sent"
  onvif-call    a device service request: "mac", "call", "result" (ok,
            refused, fault), "from"
  onvif-address a camera took a new address: "mac", "ip", "oldIp", "dhcp"
  onvif-reboot  a camera reboots: "mac"
  error     something failed: "message"
  stopped   the simulator ends

CONFIG FILE
  {
    "interface": "eth0",
    "quiet": false,
    "defaults": { "reply": "long", "send": "broadcast" },
    "cameras": [ { "mac": "02:50:4d:00:00:01", "ip": "192.0.2.10",
                   "power": "standby", "user": "admin", "password": "pw" } ],
    "fleet": { "count": 1000, "baseIp": "192.0.2.10", "model": "SIM-CAM100" }
  }
  Camera objects take the CAMERA KEYS; "fleet" takes "count", "baseIp" and
  camera keys applied to every fleet camera.

EXAMPLES
  Three cameras owning their addresses, answering by broadcast:
    ip netns exec cam1 camsim -i eth0 --send broadcast \
      -c ip=192.0.2.10 -c ip=192.0.2.11,reply=long -c ip=192.0.2.12,power=silent
  A fleet of 10 000 cameras for a benchmark:
    ip netns exec cam1 camsim --fleet 10000 --queries a --quiet
)");
}

bool CamsimConfig::parseSpec(const QString &spec, QVariantMap *out, QString *error)
{
    const QStringList pairs = spec.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        const int eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            *error = QStringLiteral("camera spec \"%1\": key=value expected").arg(pair);
            return false;
        }
        out->insert(pair.left(eq).trimmed().toLower(), pair.mid(eq + 1));
    }
    return true;
}

bool CamsimConfig::readFile(const QString &path, QVariantMap *defaults, QList<QVariantMap> *cameras,
                            QVariantMap *fleet, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("%1: not a JSON object (%2)").arg(path, parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        const QString key = it.key();
        if (key == QLatin1String("interface")) {
            interfaceName = it.value().toString();
        } else if (key == QLatin1String("quiet")) {
            quiet = it.value().toBool();
        } else if (key == QLatin1String("defaults")) {
            *defaults = it.value().toObject().toVariantMap();
        } else if (key == QLatin1String("cameras")) {
            const QJsonArray list = it.value().toArray();
            for (const QJsonValue &camera : list)
                cameras->append(camera.toObject().toVariantMap());
        } else if (key == QLatin1String("fleet")) {
            *fleet = it.value().toObject().toVariantMap();
        } else {
            *error = QStringLiteral("%1: unknown key \"%2\"").arg(path, key);
            return false;
        }
    }
    return true;
}

CamsimConfig::Outcome CamsimConfig::parse(const QStringList &arguments, QString *error)
{
    static const QSet<QString> cameraKeys = {
        QStringLiteral("mac"), QStringLiteral("model"), QStringLiteral("name"), QStringLiteral("fw"),
        QStringLiteral("firmware"), QStringLiteral("ipv6"), QStringLiteral("serial"), QStringLiteral("ip"),
        QStringLiteral("mask"), QStringLiteral("gateway"), QStringLiteral("dns1"), QStringLiteral("dns2"),
        QStringLiteral("dhcp"), QStringLiteral("user"), QStringLiteral("password"), QStringLiteral("reply"),
        QStringLiteral("send"), QStringLiteral("power"), QStringLiteral("queries"), QStringLiteral("own"),
        QStringLiteral("kind"), QStringLiteral("encodedname"), QStringLiteral("macfield"), QStringLiteral("number"),
        QStringLiteral("address"), QStringLiteral("hextext"), QStringLiteral("bssid"), QStringLiteral("text"),
        QStringLiteral("udn"), QStringLiteral("passcode"), QStringLiteral("major"), QStringLiteral("minor"),
        QStringLiteral("isp"), QStringLiteral("location"), QStringLiteral("httpport"), QStringLiteral("http"),
        QStringLiteral("nts"), QStringLiteral("maxage"), QStringLiteral("boxmac"), QStringLiteral("boxtype"),
        QStringLiteral("boxport"), QStringLiteral("lose"), QStringLiteral("onvif-clock"), QStringLiteral("onvif-port"),
        QStringLiteral("onvif-uuid"), QStringLiteral("onvif-apply"), QStringLiteral("onvif-reboot"),
        QStringLiteral("onvif-skip"), QStringLiteral("onvif-location"), QStringLiteral("onvif-xaddr")};

    QVariantMap fileDefaults;
    QVariantMap optionDefaults;
    QList<QVariantMap> fileCameras;
    QList<QVariantMap> optionCameras;
    QVariantMap fleet;
    int fleetCount = -1;
    QString fleetBaseIp;

    for (int i = 1; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        auto value = [&](QString *out) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            *out = arguments.at(++i);
            return true;
        };
        QString v;
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            return Outcome::Help;
        } else if (arg == QLatin1String("--print-config")) {
            printOnly = true;
        } else if (arg == QLatin1String("-q") || arg == QLatin1String("--quiet")) {
            quiet = true;
        } else if (arg == QLatin1String("-c") || arg == QLatin1String("--camera")) {
            QVariantMap spec;
            if (!value(&v) || !parseSpec(v, &spec, error))
                return Outcome::Error;
            optionCameras.append(spec);
        } else if (arg == QLatin1String("-n") || arg == QLatin1String("--fleet")) {
            bool ok = false;
            if (!value(&v))
                return Outcome::Error;
            fleetCount = v.toInt(&ok);
            if (!ok || fleetCount < 0 || fleetCount > 0xffffff) {
                *error = QStringLiteral("--fleet takes a count from 0 to 16777215");
                return Outcome::Error;
            }
        } else if (arg == QLatin1String("--fleet-base-ip")) {
            if (!value(&fleetBaseIp))
                return Outcome::Error;
        } else if (arg == QLatin1String("-i") || arg == QLatin1String("--interface")) {
            if (!value(&interfaceName))
                return Outcome::Error;
        } else if (arg == QLatin1String("-f") || arg == QLatin1String("--config")) {
            if (!value(&v) || !readFile(v, &fileDefaults, &fileCameras, &fleet, error))
                return Outcome::Error;
        } else if (arg.startsWith(QLatin1String("--")) && cameraKeys.contains(arg.mid(2))) {
            if (!value(&v))
                return Outcome::Error;
            optionDefaults.insert(arg.mid(2), v);
        } else {
            *error = QStringLiteral("unknown argument \"%1\" (see --help)").arg(arg);
            return Outcome::Error;
        }
    }

    QVariantMap defaults = fileDefaults;
    for (auto it = optionDefaults.constBegin(); it != optionDefaults.constEnd(); ++it)
        defaults.insert(it.key(), it.value());

    int index = 0;
    const QList<QVariantMap> specs = fileCameras + optionCameras;
    for (const QVariantMap &spec : specs) {
        ++index;
        SimCamera camera = SimCamera::generated(index, QString::fromLatin1(DefaultBaseIp), index);
        if (!camera.apply(defaults, error) || !camera.apply(spec, error))
            return Outcome::Error;
        cameras.append(camera);
    }

    if (fleetCount < 0)
        fleetCount = fleet.value(QStringLiteral("count"), 0).toInt();
    if (fleetBaseIp.isEmpty())
        fleetBaseIp = fleet.value(QStringLiteral("baseIp"), QString::fromLatin1(DefaultBaseIp)).toString();
    fleet.remove(QStringLiteral("count"));
    fleet.remove(QStringLiteral("baseIp"));
    cameras.reserve(cameras.size() + fleetCount);
    for (int n = 0; n < fleetCount; ++n) {
        // Identities go on counting after the listed cameras; addresses
        // start at the fleet's own base.
        SimCamera camera = SimCamera::generated(++index, fleetBaseIp, n + 1);
        camera.ownsAddress = false;
        if (!camera.apply(defaults, error) || !camera.apply(fleet, error))
            return Outcome::Error;
        cameras.append(camera);
    }
    if (cameras.isEmpty()) {
        *error = QStringLiteral("no camera to simulate; give --camera, --fleet or --config (see --help)");
        return Outcome::Error;
    }
    if (!interfaceName.isEmpty()) {
        for (const SimCamera &camera : qAsConst(cameras)) {
            if (camera.ownsAddress && !NetworkSafety::isDocumentationAddress(camera.info.ip)) {
                *error = QStringLiteral("ip=%1 (camera %2): with --interface only documentation addresses (%3) "
                                        "are added to an interface")
                             .arg(camera.info.ip, camera.info.mac, NetworkSafety::documentationRanges());
                return Outcome::Error;
            }
        }
    }
    return Outcome::Run;
}

QJsonObject CamsimConfig::toJson() const
{
    QJsonArray list;
    for (const SimCamera &camera : cameras)
        list.append(camera.toJson());
    return {{QStringLiteral("interface"), interfaceName},
            {QStringLiteral("quiet"), quiet},
            {QStringLiteral("cameras"), list}};
}

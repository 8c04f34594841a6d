// What the firewall tools print, read by the network check: nftables' JSON
// listing and iptables-save (each walked for an answer coming in, where the
// reader must end on any ruleset: jumps in loops, deep nesting, huge sets),
// firewalld's zone listings and ufw's status. The first byte picks the
// reader, so one corpus seeds all four.
#include "firewalldstate.h"
#include "iptablesruleset.h"
#include "nftruleset.h"
#include "ufwstate.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray text(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    InboundDatagram datagram;
    datagram.port = 8000;
    datagram.interfaceName = QStringLiteral("lan0");
    datagram.broadcast = data[0] & 0x10;
    QString error;
    switch (data[0] % 4) {
    case 0: {
        NftRuleset ruleset;
        if (ruleset.parse(text, &error))
            ruleset.evaluate(datagram);
        break;
    }
    case 1: {
        IptablesRuleset ruleset;
        if (ruleset.parse(text, &error))
            ruleset.evaluate(datagram);
        break;
    }
    case 2: {
        FirewalldState::parseActiveZones(text);
        const FirewalldState::Zone zone = FirewalldState::parseZone(QStringLiteral("public"), text);
        FirewalldState::zoneOpens(zone, 8000, {QStringLiteral("pathmere")});
        break;
    }
    default: {
        QString by;
        UfwState::parse(text).lets(8000, QStringLiteral("lan0"), {{QStringLiteral("Pathmere"), {8000}}}, &by);
        break;
    }
    }
    return 0;
}

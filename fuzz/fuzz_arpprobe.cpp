// An ARP packet as anything on the LAN may send it while addresses are
// probed before they are handed out.
#include "arpprobe.h"

#include <QByteArray>
#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const quint8 own[6] = {0x02, 0x50, 0x4d, 0x00, 0x00, 0x01};
    static const QSet<quint32> candidates{0xc0000251u, 0xc0000252u};
    const QByteArray packet(reinterpret_cast<const char *>(data), int(size));
    const quint32 conflict = ArpProbe::conflictIn(packet, own, candidates);
    // Only an address that was asked about can be reported.
    if (conflict != 0 && !candidates.contains(conflict))
        __builtin_trap();
    // A probe of our own never counts against us.
    if (ArpProbe::conflictIn(ArpProbe::buildProbe(own, conflict), own, candidates) != 0)
        __builtin_trap();
    return 0;
}

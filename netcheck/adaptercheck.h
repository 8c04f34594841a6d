#ifndef ADAPTERCHECK_H
#define ADAPTERCHECK_H

#include "adaptersurvey.h"
#include "checkresult.h"
#include "containerhints.h"

#include <QList>
#include <QString>

// Which adapters a search can use: those up with their addresses and the
// one with the default route; virtual ones named as such (no camera sits on
// a container bridge or a VPN tunnel); and whether this program runs in a
// container or a virtual machine behind NAT, where its broadcast never
// reaches the cameras' LAN.
class AdapterCheck
{
public:
    enum class Kind { Physical, ContainerBridge, ContainerLink, VmNetwork, VpnTunnel };

    // By the names the engines and tools give their adapters.
    static Kind kindOf(const QString &name);
    static QString kindText(Kind kind);   // "a container bridge", ...

    // Why the default route looks like NAT (empty when it does not): an
    // address and gateway of the networks container engines and virtual
    // machines hand out, or a route through a container bridge or a veth
    // to another network namespace.
    static QString natReason(const AdapterSurvey::Adapter &adapter);

    static QList<CheckResult> evaluate(const AdapterSurvey &survey, const ContainerHints &hints);

private:
    AdapterCheck() = delete;
};

#endif // ADAPTERCHECK_H

#include "subnetmove.h"

#include "adapterchooser.h"
#include "applog.h"
#include "devicetable.h"
#include "settingscheck.h"
#include "settingsform.h"
#include "usermessage.h"

#include <QAbstractButton>
#include <QAction>
#include <QWidget>

namespace {

const QString Title = QStringLiteral("Move into this computer's subnet");

} // namespace

SubnetMove::SubnetMove(DeviceTable *table, SettingsForm *form, const AdapterChooser *adapters, QAbstractButton *apply,
                       QWidget *window)
    : QObject(window)
    , m_table(table)
    , m_form(form)
    , m_adapters(adapters)
    , m_apply(apply)
    , m_window(window)
    , m_action(new QAction(tr("Move into this computer's subnet..."), this))
    , m_probe(SubnetReach::arpProbe(&m_probeNotes))
{
    m_action->setEnabled(false);
    connect(m_table, &DeviceTable::selectionChanged, this, &SubnetMove::refresh);
    connect(m_table, &DeviceTable::contextMenuRequested, this, &SubnetMove::refresh);
    connect(m_action, &QAction::triggered, this, &SubnetMove::move);
}

void SubnetMove::refresh()
{
    const DeviceRecord *device = m_table->currentDevice();
    // Only a MAC names the camera to the planner (another maker's camera
    // may have none).
    m_action->setEnabled(device && !device->mac.isEmpty() && !m_table->marks().reachable(*device)
                         && m_apply->isEnabled());
}

void SubnetMove::move()
{
    refresh();
    const DeviceRecord *selected = m_table->currentDevice();
    if (!selected || !m_action->isEnabled())
        return;
    const DeviceRecord device = *selected;
    const AdapterSurvey survey = m_table->survey();
    if (SubnetReach::reachable(device, survey)) {
        UserMessage::information(m_window, Title,
                                 QStringLiteral("%1 at %2 is reachable from this computer now: nothing to move.")
                                     .arg(device.mac, device.ip));
        return;
    }
    m_probeNotes.clear();
    const QList<SubnetReach::Finding> findings =
        SubnetReach::planFor(m_table->devices(), survey, device.mac, m_adapters->currentAddress(), m_probe);
    for (const QString &note : qAsConst(m_probeNotes))
        appLog(LogSystem::LogMajorMsg, "Subnet move: no address-conflict probe was made: %s", qPrintable(note));
    if (findings.isEmpty()) {
        UserMessage::information(m_window, Title,
                                 QStringLiteral("This computer has no adapter that is up with an IPv4 address."));
        return;
    }
    const SubnetReach::Finding &finding = findings.first();
    if (finding.readdressed.ip.isEmpty()) {
        UserMessage::information(m_window, Title,
                                 QStringLiteral("%1's subnet has no free address for the camera.").arg(finding.adapter));
        return;
    }
    DeviceRecord planned = finding.readdressed;
    quint32 address = 0;
    quint32 mask = 0;
    SettingsCheck::parseAddress(planned.ip, &address);
    SettingsCheck::parseAddress(planned.mask, &mask);
    const QString question = QStringLiteral("Give %1 the address %2 in %3's subnet %4?")
                                 .arg(device.mac, planned.ip, finding.adapter, SettingsCheck::subnetText(address & mask, mask));
    if (!UserMessage::question(m_window, Title, question))
        return;
    appLog(LogSystem::LogMajorMsg, "Subnet move: %s to %s mask %s gateway %s (%s).", qPrintable(device.mac),
           qPrintable(planned.ip), qPrintable(planned.mask), qPrintable(planned.gateway), qPrintable(finding.adapter));
    planned.dhcp = false;
    // No router in the adapter's subnet: the form's empty gateway says none.
    if (planned.gateway == QLatin1String("0.0.0.0"))
        planned.gateway.clear();
    m_form->show(planned);
    m_apply->click();
}

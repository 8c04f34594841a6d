#include "settingsform.h"

#include "ipctrl.h"
#include "settingscheck.h"
#include "usermessage.h"
#include "utilityprotocol.h"

#include <QLineEdit>
#include <QRadioButton>

namespace {

void setFieldFromText(IPCtrl *field, const QString &text)
{
    if (!text.isEmpty())
        field->setAddress(UtilityProtocol::ipv4FromText(text));
}

quint32 addressOf(const IPCtrl *field)
{
    const IPCtrl::Bytes bytes = field->getAddress();
    return (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) | quint32(bytes[3]);
}

void refuse(const QString &text)
{
    UserMessage::information(QStringLiteral("Setting"), text + QStringLiteral(" Nothing was sent."));
}

} // namespace

SettingsForm::SettingsForm(const Fields &fields, QObject *parent)
    : QObject(parent)
    , f(fields)
{
    // DHCP leaves the address fields to the server; their contents stay.
    connect(f.dhcp, &QRadioButton::clicked, this, [this] { setAddressFieldsEnabled(false); });
    connect(f.staticIp, &QRadioButton::clicked, this, [this] { setAddressFieldsEnabled(true); });
}

void SettingsForm::show(const DeviceRecord &device)
{
    f.name->setText(device.name);
    f.dhcp->setChecked(device.dhcp);
    f.staticIp->setChecked(!device.dhcp);
    setAddressFieldsEnabled(!device.dhcp);

    clearAddresses();
    setFieldFromText(f.ip, device.ip);
    setFieldFromText(f.mask, device.mask);
    setFieldFromText(f.gateway, device.gateway);
    setFieldFromText(f.dns1, device.dns1);
    setFieldFromText(f.dns2, device.dns2);
}

void SettingsForm::clearAddresses()
{
    for (IPCtrl *field : {f.ip, f.mask, f.gateway, f.dns1, f.dns2})
        field->clearAddress();
}

void SettingsForm::clear()
{
    clearAddresses();
    f.name->setText(QString());
    f.userId->setText(QString());
    f.password->setText(QString());
    // Both unchecked at once needs the exclusive group switched off meanwhile.
    f.dhcp->setAutoExclusive(false);
    f.staticIp->setAutoExclusive(false);
    f.dhcp->setChecked(false);
    f.staticIp->setChecked(false);
    f.dhcp->setAutoExclusive(true);
    f.staticIp->setAutoExclusive(true);
}

void SettingsForm::setAddressFieldsEnabled(bool enabled)
{
    for (IPCtrl *field : {f.ip, f.mask, f.gateway, f.dns1, f.dns2})
        field->setEnabled(enabled);
}

bool SettingsForm::readyToApply(const DeviceRecord &device) const
{
    // Another maker's camera is written by its endpoint; its MAC is only
    // known when the neighbour table had it.
    UtilityProtocol::MacBytes mac{};
    if (device.searchType != DeviceRecord::Onvif && !UtilityProtocol::macFromText(device.mac, &mac)) {
        UserMessage::information(QStringLiteral("Setting"), QStringLiteral("macAddress fail !!"));
        return false;
    }
    if (f.userId->text().isEmpty()) {
        UserMessage::information(QStringLiteral("UserID"), QStringLiteral("Please input use ID."));
        return false;
    }
    if (f.password->text().isEmpty()) {
        UserMessage::information(QStringLiteral("UserID"), QStringLiteral("Please input password."));
        return false;
    }
    return true;
}

bool SettingsForm::plannedSettingAcceptable(const DeviceRecord &device, const QList<DeviceRecord> &devices) const
{
    if (f.dhcp->isChecked())
        return true;
    // Named as the form's labels name them. An empty gateway or DNS server
    // stands for none; an empty address or mask stands for nothing.
    const struct { IPCtrl *field; const char *label; bool required; } fields[] = {
        {f.ip, "IP Address", true}, {f.mask, "Mask", true}, {f.gateway, "Gateway", false},
        {f.dns1, "Primary DNS", false}, {f.dns2, "Secondary DNS", false}};
    for (const auto &entry : fields) {
        if (entry.field->isBlank() ? entry.required : entry.field->hasEmptyField()) {
            refuse(QStringLiteral("%1 has an empty field: every one of its four numbers must be filled in.")
                       .arg(QLatin1String(entry.label)));
            return false;
        }
    }

    SettingsCheck::Planned planned;
    planned.mac = device.mac;
    planned.ip = addressOf(f.ip);
    planned.mask = addressOf(f.mask);
    planned.gateway = addressOf(f.gateway);
    SettingsCheck::Surroundings around;
    around.devices = devices;
    around.host = SettingsCheck::hostAddresses();
    const QList<SettingsCheck::Problem> problems = SettingsCheck::check(planned, around);
    if (problems.isEmpty())
        return true;
    const SettingsCheck::Problem &first = problems.first();
    const char *label = first.field == SettingsCheck::Field::Mask ? "Mask"
        : first.field == SettingsCheck::Field::Gateway           ? "Gateway"
                                                                   : "IP Address";
    refuse(QStringLiteral("%1 %2 %3.").arg(QLatin1String(label), SettingsCheck::addressText(first.value), first.reason));
    return false;
}

CameraSettings SettingsForm::settings() const
{
    CameraSettings settings;
    settings.dhcp = f.dhcp->isChecked();
    settings.ip = f.ip->getAddress();
    settings.mask = f.mask->getAddress();
    settings.gateway = f.gateway->getAddress();
    settings.dns1 = f.dns1->getAddress();
    settings.dns2 = f.dns2->getAddress();
    settings.name = f.name->text();
    return settings;
}

Credentials SettingsForm::credentials() const
{
    return Credentials{f.userId->text(), f.password->text()};
}

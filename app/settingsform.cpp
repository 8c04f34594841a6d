#include "settingsform.h"

#include "ipctrl.h"
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

} // namespace

SettingsForm::SettingsForm(const Fields &fields, QObject *parent)
    : QObject(parent)
    , f(fields)
{
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
    UtilityProtocol::MacBytes mac{};
    if (!UtilityProtocol::macFromText(device.mac, &mac)) {
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

QByteArray SettingsForm::settingsRecord(const DeviceRecord &device) const
{
    UtilityProtocol::Settings settings;
    settings.dhcp = f.dhcp->isChecked();
    settings.ip = f.ip->getAddress();
    UtilityProtocol::macFromText(device.mac, &settings.mac);
    settings.mask = f.mask->getAddress();
    settings.gateway = f.gateway->getAddress();
    settings.dns1 = f.dns1->getAddress();
    settings.dns2 = f.dns2->getAddress();
    settings.name = f.name->text();
    settings.userId = f.userId->text();
    settings.password = f.password->text();
    return UtilityProtocol::buildSettingsRecord(settings);
}

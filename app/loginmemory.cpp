#include "loginmemory.h"

#include "applysettingsjob.h"
#include "credentialscope.h"
#include "keyringjob.h"

#include <QCheckBox>
#include <QLineEdit>

LoginMemory::LoginMemory(QLineEdit *userId, QLineEdit *password, QCheckBox *remember, QObject *parent)
    : QObject(parent)
    , m_userId(userId)
    , m_password(password)
    , m_remember(remember)
{
    connect(m_userId, &QLineEdit::textEdited, this, [this] { m_typed = true; });
    connect(m_password, &QLineEdit::textEdited, this, [this] { m_typed = true; });
}

void LoginMemory::probeKeyring()
{
    KeyringJob *probe = KeyringJob::lookup(CredentialScope::siteFromText(QStringLiteral("0.0.0.0/32")),
                                           CredentialScope(), CredentialKeyring::Unlock::Never, this);
    connect(probe, &KeyringJob::finished, this, [this, probe](const CredentialKeyring::Result &result) {
        if (result.status == CredentialKeyring::Status::Unavailable)
            setUnavailable(result.message);
        probe->deleteLater();
    });
}

void LoginMemory::setUnavailable(const QString &why)
{
    m_remember->setChecked(false);
    m_remember->setEnabled(false);
    m_remember->setToolTip(why);
}

void LoginMemory::fillFor(const DeviceRecord &device)
{
    delete m_lookup;   // cancels its call
    m_typed = false;
    if (!m_remember->isEnabled())
        return;
    const CredentialScope camera = CredentialScope::camera(device.mac, device.model);
    const CredentialScope site = CredentialScope::siteHolding(device.ip);
    if (!camera.isValid() && !site.isValid())
        return;
    KeyringJob *job = KeyringJob::lookup(camera, site, CredentialKeyring::Unlock::Never, this);
    m_lookup = job;
    connect(job, &KeyringJob::finished, this, [this, job](const CredentialKeyring::Result &result) {
        job->deleteLater();
        bool filled = false;
        if (result.status == CredentialKeyring::Status::Found && !m_typed) {
            m_userId->setText(result.userId);
            m_password->setText(result.password);
            m_remember->setChecked(true);
            filled = true;
        } else if (result.status == CredentialKeyring::Status::Unavailable) {
            setUnavailable(result.message);
        }
        emit lookupFinished(filled);
    });
}

void LoginMemory::watchApply(ApplySettingsJob *job, const DeviceRecord &device, const Credentials &login)
{
    connect(job, &ApplySettingsJob::finished, this, [this, device, login](ApplySettingsJob::Result result) {
        if (result == ApplySettingsJob::Confirmed)
            rememberConfirmed(device, login);
    });
}

void LoginMemory::rememberConfirmed(const DeviceRecord &device, const Credentials &login)
{
    const CredentialScope camera = CredentialScope::camera(device.mac, device.model);
    if (!camera.isValid() || !m_remember->isEnabled() || !m_remember->isChecked())
        return;
    KeyringJob *store = KeyringJob::store(camera, login.userId, login.password, this);
    connect(store, &KeyringJob::finished, this, [this, store](const CredentialKeyring::Result &stored) {
        store->deleteLater();
        if (stored.status == CredentialKeyring::Status::Stored)
            emit loginStored();
        else if (stored.status == CredentialKeyring::Status::Unavailable)
            setUnavailable(stored.message);
    });
}

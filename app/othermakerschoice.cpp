#include "othermakerschoice.h"

#include "applog.h"
#include "privatestore.h"
#include "searchmanager.h"
#include "updatepaths.h"

#include <QAction>
#include <QSettings>

const char OtherMakersChoice::SettingKey[] = "Search/IncludeOtherMakers";

OtherMakersChoice::OtherMakersChoice(SearchManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_action(new QAction(tr("Include other makers (ONVIF)"), this))
{
    m_action->setCheckable(true);
    m_action->setChecked(stored());
    m_manager->setSearchTypes(searchTypes(m_action->isChecked()));
    connect(m_action, &QAction::toggled, this, &OtherMakersChoice::take);
}

bool OtherMakersChoice::isOn() const
{
    return m_action->isChecked();
}

int OtherMakersChoice::searchTypes(bool includeOtherMakers)
{
    return SearchManager::UtilitySearchBit | (includeOtherMakers ? SearchManager::OnvifBit : 0);
}

bool OtherMakersChoice::stored()
{
    const QSettings settings(UpdatePaths::settingsFile(), QSettings::IniFormat);
    return settings.value(QLatin1String(SettingKey), false).toBool();
}

void OtherMakersChoice::take(bool on)
{
    // The next search runs with it; one running now keeps its sources.
    m_manager->setSearchTypes(searchTypes(on));
    const QString file = UpdatePaths::settingsFile();
    PrivateStore::prepareFile(file);
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(QLatin1String(SettingKey), on);
    settings.sync();
    appLog(LogSystem::LogMajorMsg, "Search includes other makers (ONVIF): %s.", on ? "on" : "off");
}

#include "ssdpfoundlist.h"

#include "applog.h"

#include <QMutexLocker>

SsdpFoundList::SsdpFoundList(SameDevice sameDevice)
    : sameDevice(sameDevice)
{
}

bool SsdpFoundList::begin()
{
    QMutexLocker locker(&mutex);
    if (running)
        return false;
    running = true;
    list.clear();
    refusalLogs = 0;
    return true;
}

bool SsdpFoundList::isRunning() const
{
    QMutexLocker locker(&mutex);
    return running;
}

void SsdpFoundList::end()
{
    QMutexLocker locker(&mutex);
    running = false;
}

QList<DocCamUpnpData> SsdpFoundList::records() const
{
    QMutexLocker locker(&mutex);
    return list;
}

void SsdpFoundList::clear()
{
    QMutexLocker locker(&mutex);
    list.clear();
}

SsdpFoundList::Merge SsdpFoundList::merge(const DocCamUpnpData &record)
{
    QMutexLocker locker(&mutex);
    if (!running)
        return Merge::NotRunning;
    for (DocCamUpnpData &found : list) {
        if (sameDevice(found, record)) {
            found.device.name = record.device.name;
            found.device.model = record.device.model;
            return Merge::Updated;
        }
    }
    if (list.size() >= MaxFoundDevices)
        return Merge::Full;
    list.append(record);
    return Merge::Added;
}

void SsdpFoundList::logRefusal(const QString &text)
{
    if (refusalLogs >= MaxRefusalLogs)
        return;
    ++refusalLogs;
    appLog(LogSystem::LogMajorMsg, "%s", qPrintable(text));
}

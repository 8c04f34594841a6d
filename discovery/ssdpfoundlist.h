#ifndef SSDPFOUNDLIST_H
#define SSDPFOUNDLIST_H

#include "doccamupnpdata.h"

#include <QList>
#include <QMutex>
#include <QString>

// What one SSDP search has found, one record per device, for both SSDP
// managers. Answers are merged on the thread of the sockets while the search
// coordinator ends the search and takes the list, hence the lock. It also
// keeps the search's count of refusal log lines, so that a flood of bad
// answers cannot flood the log.
class SsdpFoundList
{
public:
    // Records of one search; past this a peer inventing MACs is refused.
    static constexpr int MaxFoundDevices = 4096;
    // Refusal log lines per search.
    static constexpr int MaxRefusalLogs = 20;

    // Whether two records describe the same device.
    using SameDevice = bool (*)(const DocCamUpnpData &, const DocCamUpnpData &);

    enum class Merge { Added, Updated, NotRunning, Full };

    explicit SsdpFoundList(SameDevice sameDevice);
    Q_DISABLE_COPY(SsdpFoundList)

    // Starts a search with an empty list; false when one runs already.
    bool begin();
    bool isRunning() const;
    // From here on answers are no longer taken; the list stays.
    void end();
    QList<DocCamUpnpData> records() const;
    void clear();

    // Adds the record, or gives the one of the same device the record's name
    // and model. A record that comes after the search ended, or that would
    // go past MaxFoundDevices, is not kept.
    Merge merge(const DocCamUpnpData &record);

    // Logs text, unless this search has logged MaxRefusalLogs refusals.
    void logRefusal(const QString &text);

private:
    const SameDevice sameDevice;
    mutable QMutex mutex;
    bool running = false;
    QList<DocCamUpnpData> list;
    // Only the sockets' thread logs refusals and starts searches.
    int refusalLogs = 0;
};

#endif // SSDPFOUNDLIST_H

#ifndef NETWORKDOCTOR_H
#define NETWORKDOCTOR_H

#include "addressconflicts.h"
#include "adaptersurvey.h"
#include "checkresult.h"
#include "subnetreach.h"

#include <QFutureWatcher>
#include <QList>
#include <QObject>

class LiveSearchRun;

// One run of every network check, as `pathmere-cli doctor` and the window's
// "Why?" dialog show it: adapters, firewall, reverse-path filtering and the
// search port (read off the GUI thread), then a live search from each
// adapter, then the rules about cameras in another subnet and address
// conflicts on what that search found. finished() once, with every result.
class NetworkDoctor : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QList<quint16> ports{8000};   // add 1900, 1988, 1688, 3702 for the sources that use them
        bool liveSearch = true;
        int listenMs = 3000;
        bool probeConflicts = true;   // ARP probes where the process may send them
        QString onlyAdapter;          // empty: every adapter
    };

    // The inbound ports the firewall must let through for the searches in
    // mask (bit 1 << DeviceRecord::SearchType): 8000 for the utility search,
    // 1900 for document cameras, 1988 and 1688 for control boxes, 3702 for
    // WS-Discovery. Never empty: 8000 stands for an empty mask.
    static QList<quint16> portsForSources(int mask);

    explicit NetworkDoctor(QObject *parent = nullptr);
    ~NetworkDoctor() override;

    void start(const Options &options);
    bool isRunning() const { return running; }

    QList<CheckResult> results() const { return all; }
    QList<SubnetReach::Finding> subnetFindings() const { return findings; }
    QList<AddressConflicts::Conflict> conflicts() const { return conflictList; }
    QList<DeviceRecord> devices() const { return found; }
    AdapterSurvey survey() const { return adapters; }

signals:
    void finished(const QList<CheckResult> &results);

private:
    Q_DISABLE_COPY(NetworkDoctor)

    struct Readings;
    void readingsDone();
    void liveDone();
    void finish();

    Options options;
    QFutureWatcher<void> *watcher = nullptr;
    Readings *readings = nullptr;
    LiveSearchRun *live = nullptr;
    AdapterSurvey adapters;
    QList<CheckResult> all;
    QList<SubnetReach::Finding> findings;
    QList<AddressConflicts::Conflict> conflictList;
    QList<DeviceRecord> found;
    QStringList strictAdapters;
    bool running = false;
};

#endif // NETWORKDOCTOR_H

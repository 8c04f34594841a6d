#ifndef ADAPTERCHOOSER_H
#define ADAPTERCHOOSER_H

#include "networkadapterentry.h"

#include <QList>
#include <QObject>

class QComboBox;

// The chooser of the local adapter a search goes out of: one entry per
// adapter with an IPv4 address, refilled whenever the interfaces change.
class AdapterChooser : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(AdapterChooser)

public:
    explicit AdapterChooser(QComboBox *box, QObject *parent = nullptr);

    // Refills the list and selects the first entry; an open list is opened
    // again so that it shows the new entries at their size.
    void setAdapters(const QList<NetworkAdapterEntry> &adapters);
    // The chosen adapter's addresses (joined by "\r\n"); empty without one.
    QString currentAddress() const;

private:
    QComboBox *const m_box;
    QList<NetworkAdapterEntry> m_adapters;
};

#endif // ADAPTERCHOOSER_H

#ifndef SUBNETMOVE_H
#define SUBNETMOVE_H

#include "subnetreach.h"

#include <QObject>

class AdapterChooser;
class DeviceTable;
class QAbstractButton;
class QAction;
class QWidget;
class SettingsForm;

// The device table's "Move into this computer's subnet...": a camera the
// table marks as not reachable from this computer gets the next free
// address of the searching adapter's subnet, planned as fix-subnet plans
// it. One question shows the planned address; on Yes the form takes the
// planned static settings and the window's own Apply sends them (its
// checks, the form's login, progress and the confirming search).
class SubnetMove : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SubnetMove)

public:
    // All of them outlive this object; window is the question's parent.
    SubnetMove(DeviceTable *table, SettingsForm *form, const AdapterChooser *adapters, QAbstractButton *apply,
               QWidget *window);

    QAction *action() const { return m_action; }
    // Candidates in use answer this probe; by default the ARP probe.
    void setProbe(SubnetReach::Probe probe) { m_probe = std::move(probe); }
    // On for a selected row marked unreachable while Apply may be pressed.
    void refresh();

private:
    void move();

    DeviceTable *const m_table;
    SettingsForm *const m_form;
    const AdapterChooser *const m_adapters;
    QAbstractButton *const m_apply;
    QWidget *const m_window;
    QAction *const m_action;
    SubnetReach::Probe m_probe;
    QStringList m_probeNotes;
};

#endif // SUBNETMOVE_H

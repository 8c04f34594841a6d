#include "adapterchooser.h"

#include <QAbstractItemView>
#include <QComboBox>

AdapterChooser::AdapterChooser(QComboBox *box, QObject *parent)
    : QObject(parent)
    , m_box(box)
{
}

void AdapterChooser::setAdapters(const QList<NetworkAdapterEntry> &adapters)
{
    // Refilling the chooser closes an open list; note it before.
    const QAbstractItemView *const popup = m_box->view();
    const bool listOpen = popup && popup->isVisible();
    m_adapters = adapters;
    m_box->clear();
    for (const NetworkAdapterEntry &adapter : qAsConst(m_adapters))
        m_box->addItem(adapter.description);
    m_box->setCurrentIndex(0);
    if (listOpen) {
        m_box->hidePopup();
        m_box->showPopup();
    }
}

QString AdapterChooser::currentAddress() const
{
    const int index = m_box->currentIndex();
    return (index >= 0 && index < m_adapters.size()) ? m_adapters.at(index).address : QString();
}

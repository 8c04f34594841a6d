#ifndef WINDOWLANSCENE_H
#define WINDOWLANSCENE_H

#include "testhome.h"

#include <QString>
#include <QStringList>

class CamsimProcess;
class DiscoveryService;
class Pathmere;
class PathmereTestAccess;
class QTableView;

// The real main window in a test LAN, as a user meets it: a scratch HOME,
// camsim with the cameras given, today's update check already done (no
// update server answers in the LAN, and its box would cover the window),
// and every message box recorded instead of shown.
class WindowLanScene
{
public:
    WindowLanScene() = default;
    ~WindowLanScene();

    // Enters the scratch HOME and starts camsim on the first camera side;
    // the reason when that failed, else an empty string.
    QString start(const QStringList &camsimArgs);
    // A new window on the scene's discovery, shown and exposed.
    bool openWindow();
    void closeWindow();
    // Clicks Search and waits for the search to end (the button back).
    void search();

    // The text of a table cell, and the first row whose column reads text
    // (-1 when none does).
    static QString cellText(const QTableView *table, int row, int column);
    static int rowOf(const QTableView *table, int column, const QString &text);

    CamsimProcess *camsim = nullptr;
    DiscoveryService *discovery = nullptr;
    Pathmere *window = nullptr;
    PathmereTestAccess *access = nullptr;
    QStringList messages;

private:
    Q_DISABLE_COPY(WindowLanScene)

    TestHome home;
};

#endif // WINDOWLANSCENE_H

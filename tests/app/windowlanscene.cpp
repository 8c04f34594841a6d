#include "windowlanscene.h"

#include "camsimprocess.h"
#include "discoveryservice.h"
#include "pathmere.h"
#include "pathmeretestaccess.h"
#include "updatepaths.h"
#include "usermessage.h"

#include <QDate>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

WindowLanScene::~WindowLanScene()
{
    closeWindow();
    delete discovery;
    if (camsim) {
        camsim->stop();
        delete camsim;
    }
    UserMessage::setObserver({});
}

QString WindowLanScene::start(const QStringList &camsimArgs)
{
    if (!home.isValid())
        return QStringLiteral("no scratch HOME");
    home.enter();
    QStandardPaths::setTestModeEnabled(true);
    UserMessage::setObserver([this](const QString &, const QString &text) { messages << text; });
    camsim = new CamsimProcess;
    if (!camsim->start(0, camsimArgs, 10000))
        return camsim->errorText();
    QSettings(UpdatePaths::settingsFile(), QSettings::IniFormat)
        .setValue(QStringLiteral("Common/AppOpenDate"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    discovery = new DiscoveryService;
    return QString();
}

bool WindowLanScene::openWindow()
{
    window = new Pathmere;
    access = new PathmereTestAccess(window);
    window->setStartHidden(false);
    window->show();
    return QTest::qWaitForWindowExposed(window);
}

void WindowLanScene::closeWindow()
{
    delete access;
    access = nullptr;
    delete window;
    window = nullptr;
}

void WindowLanScene::search()
{
    QTest::mouseClick(access->searchButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!access->searchButton()->isEnabled(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(access->searchButton()->isEnabled(), 12000);
}

QString WindowLanScene::cellText(const QTableView *table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

int WindowLanScene::rowOf(const QTableView *table, int column, const QString &text)
{
    for (int row = 0; row < table->model()->rowCount(); ++row) {
        if (cellText(table, row, column) == text)
            return row;
    }
    return -1;
}

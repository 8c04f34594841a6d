#include "whyline.h"

#include "networkcheckdialog.h"

#include <QCoreApplication>
#include <QLabel>

WhyLine::WhyLine(QLabel *label, double dpiScale, QWidget *window)
    : QObject(window)
    , label(label)
    , window(window)
    , dpiScale(dpiScale)
{
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->hide();
    connect(label, &QLabel::linkActivated, this, &WhyLine::openChecks);
}

void WhyLine::showFor(const QList<DeviceRecord> &devices, const DeviceMarks &marks)
{
    int unreachable = 0;
    for (const DeviceRecord &device : devices)
        unreachable += marks.reachable(device) ? 0 : 1;
    QString sentence;
    if (devices.isEmpty())
        sentence = QCoreApplication::translate("Pathmere", "The search found no camera.");
    else if (unreachable == 1)
        sentence = QCoreApplication::translate("Pathmere", "1 camera is not reachable from this computer.");
    else if (unreachable > 1)
        sentence = QCoreApplication::translate("Pathmere", "%1 cameras are not reachable from this computer.").arg(unreachable);
    if (sentence.isEmpty()) {
        clear();
        return;
    }
    label->setText(QStringLiteral("%1 <a href=\"why\">%2</a>")
                       .arg(sentence.toHtmlEscaped(), QCoreApplication::translate("Pathmere", "Why?")));
    label->show();
}

void WhyLine::clear()
{
    label->clear();
    label->hide();
}

bool WhyLine::isShown() const
{
    return !label->isHidden();
}

QString WhyLine::text() const
{
    return label->text();
}

void WhyLine::openChecks()
{
    if (!checks)
        checks = new NetworkCheckDialog(window, dpiScale);
    checks->show();
    checks->raise();
    checks->activateWindow();
    checks->start(doctorOptions);
    emit dialogOpened();
}

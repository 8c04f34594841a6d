#include "networkcheckdialog.h"
#include "ui_networkcheckdialog.h"

#include "checkreport.h"
#include "dpiscaler.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>

NetworkCheckDialog::NetworkCheckDialog(QWidget *parent, double dpiScale)
    : QDialog(parent)
    , ui(new Ui::NetworkCheckDialog)
    , doctor(new NetworkDoctor(this))
{
    ui->setupUi(this);
    setModal(false);
    const DpiScaler scaler(dpiScale);
    scaler.scaleChildren(this);
    setFixedSize(scaler.scaled(QSize(620, 400)));
    ui->checkList->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ui->checkList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);

    connect(doctor, &NetworkDoctor::finished, this, &NetworkCheckDialog::showResults);
    connect(ui->btnRunAgain, &QPushButton::clicked, this, [this] { start(lastOptions); });
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::close);
}

NetworkCheckDialog::~NetworkCheckDialog()
{
    delete ui;
}

void NetworkCheckDialog::start(const NetworkDoctor::Options &options)
{
    if (doctor->isRunning())
        return;
    lastOptions = options;
    ui->checkList->clear();
    ui->btnRunAgain->setEnabled(false);
    ui->statusLabel->setText(options.liveSearch ? tr("Checking the network and searching from each adapter…")
                                                : tr("Checking the network…"));
    doctor->start(options);
    if (!doctor->isRunning())
        showResults(doctor->results());
}

void NetworkCheckDialog::showResults(const QList<CheckResult> &results)
{
    shown = results;
    ui->checkList->clear();
    QStyle *style = QApplication::style();
    for (const CheckResult &r : results) {
        auto *item = new QTreeWidgetItem(ui->checkList);
        item->setText(0, CheckResult::statusText(r.status));
        item->setIcon(0, style->standardIcon(r.status == CheckResult::Status::Ok        ? QStyle::SP_DialogApplyButton
                                             : r.status == CheckResult::Status::Warning ? QStyle::SP_MessageBoxWarning
                                                                                          : QStyle::SP_MessageBoxCritical));
        item->setText(1, r.subject.isEmpty() ? r.check : QStringLiteral("%1 %2").arg(r.check, r.subject));
        item->setText(2, r.sentence);
        item->setToolTip(2, r.sentence);
        // The fix on a row of its own, selectable to copy into a terminal.
        for (const QString &fix : {r.fix, r.alternativeFix}) {
            if (fix.isEmpty())
                continue;
            auto *child = new QTreeWidgetItem(item);
            child->setText(1, fix == r.fix ? tr("fix") : tr("or"));
            child->setText(2, fix);
            child->setToolTip(2, fix);
        }
        item->setExpanded(true);
    }
    const CheckResult::Status worst = CheckResult::worst(results);
    ui->statusLabel->setText(worst == CheckResult::Status::Problem   ? tr("A problem was found: see its fix below.")
                             : worst == CheckResult::Status::Warning ? tr("No problem, but warnings: see below.")
                                                                     : tr("Every check passed."));
    ui->btnRunAgain->setEnabled(true);
    emit finished(results);
}

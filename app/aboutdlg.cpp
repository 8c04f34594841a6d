#include "aboutdlg.h"
#include "ui_aboutdlg.h"

#include "dpiscaler.h"

#include <QCloseEvent>

namespace {
const char programVersion[] = "1.1.1010.0";
} // namespace

AboutDlg::AboutDlg(QWidget *parent, double dpiScale)
    : QWidget(parent)
    , ui(new Ui::AboutDlg)
{
    // The legal notice is a compiled-in resource of this static library;
    // nothing else may have pulled it into the program yet.
    Q_INIT_RESOURCE(pathmere);
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint
                   | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);

    // The form is drawn at 96 DPI.
    const DpiScaler scaler(dpiScale);
    scaler.scaleChildren(this);
    setFixedSize(scaler.scaled(QSize(343, 388)));

    ui->label_Version->setText(versionText());

    connect(ui->btnCheckUpdate, &QPushButton::clicked, this, &AboutDlg::checkUpdate);
}

AboutDlg::~AboutDlg()
{
    delete ui;
}

QString AboutDlg::versionText()
{
    return QString::fromLatin1(programVersion);
}

void AboutDlg::setUpdateStatus(const QString &text)
{
    ui->label_UpdateStatus->setText(text);
}

// Hidden, not destroyed: the main window shows this same dialog again.
void AboutDlg::closeEvent(QCloseEvent *event)
{
    event->ignore();
    hide();
}

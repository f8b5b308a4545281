#include "about.h"

#include "dialogs/dialogframe.h"
#include "ui_about.h"

about::about(QWidget *parent) : QDialog(parent), ui(new Ui_about)
{
    ui->setupUi(this);
    setUpFixedDialog(this);
    setWindowTitle(tr("About"));
    ui->textBrowser->setContextMenuPolicy(Qt::NoContextMenu);
    // The version of the program that shows it.
    ui->textBrowser->setHtml(ui->textBrowser->toHtml().replace(QStringLiteral("@VERSION@"),
                                                               QStringLiteral(PLYJOIN_VERSION)));
    ui->textBrowser->setToolTip(tr("This program comes with absolutely no warranty. You may share and change it "
                                   "under the terms of the GNU General Public License, version 3 or later."));
    connect(ui->pushButton_OK, &QPushButton::clicked, this, &about::On_Button_Ok);
}

about::~about()
{
    delete ui;
}

void about::On_Button_Ok()
{
    accept();
}

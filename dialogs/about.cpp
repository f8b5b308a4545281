#include "about.h"

#include "dialogs/dialogframe.h"
#include "ui_about.h"

about::about(QWidget *parent) : QDialog(parent), ui(new Ui_about)
{
    ui->setupUi(this);
    setUpFixedDialog(this);
    setWindowTitle(tr("About"));
    ui->textBrowser->setContextMenuPolicy(Qt::NoContextMenu);
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

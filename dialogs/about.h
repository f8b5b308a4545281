// The about box: banner, product name, rights notice and two links.
#pragma once

#include <QDialog>

class Ui_about;

class about : public QDialog
{
    Q_OBJECT

public:
    explicit about(QWidget *parent = nullptr);
    ~about() override;

    Ui_about *ui;

public slots:
    void On_Button_Ok();
};

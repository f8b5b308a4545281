// The page options dialog: sheet size or scale, page range, rotation and separator lines.
// It only reads and writes the settings file; a run reads the options back from there.
#pragma once

#include "run/optionsstring.h"

#include <QDialog>

class QComboBox;
class Ui_Setting;

class Setting : public QDialog
{
    Q_OBJECT

public:
    explicit Setting(QWidget *parent = nullptr);
    ~Setting() override;

    int r = 0;
    int g = 0;
    int b = 0;
    Ui_Setting *ui;

    void LoadParaInfo();
    void SaveParaInfo();

public slots:
    void setText1(QString name);
    void on_ConvertButton_clicked();
    void On_Button_Cancle_Click();
    void reSet();
    void radioButton_remain_original_size_click();
    void radioButton_fit_to_page_size_click();
    void radioButton_scaling_click();
    void radioButton_allpages_click();
    void radioButton_oddpages_click();
    void radioButton_evem_pages_click();
    void radioButton_pageno_click();
    void pushButton_setcolor_click();
    void radioButton_addcolor_click();
    void SetComboxText(QComboBox *&box, QString &text);

private:
    void setSizeFieldsEnabled(bool enabled);
    void setScalingMode(ScalingMode mode);
    void setPageRange(PageRange range);
};

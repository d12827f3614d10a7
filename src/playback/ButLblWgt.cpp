#include "playback/ButLblWgt.h"

#include "ui_ButLblWgt.h"

#include <QMovie>

ButLblWgt::ButLblWgt(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::ButLblWgt>())
{
    ui->setupUi(this);
    m_pMovie = new QMovie(QStringLiteral(":/Skin/main/loading.gif"), QByteArray(), this);
    ui->textLab->hide();
    connect(ui->plyBut, &QPushButton::clicked, this, &ButLblWgt::sigButClked);
}

ButLblWgt::~ButLblWgt() = default;

void ButLblWgt::ShowPlayButton(bool bOn)
{
    show();
    raise();
    ui->plyBut->setVisible(bOn);
    ui->animLab->setVisible(!bOn);
}

void ButLblWgt::ShowAnimLabel(bool bOn)
{
    ui->animLab->setVisible(bOn);
    ui->plyBut->setVisible(!bOn);
    raise();
    show();
}

bool ButLblWgt::IsAnimLabelVisible() const
{
    return ui->animLab->isVisible();
}

void ButLblWgt::SetLoading(bool bOn)
{
    ui->animLab->clear();
    if (bOn) {
        ui->animLab->setMovie(m_pMovie);
        m_pMovie->start();
        ui->textLab->show();
        ui->animLab->show();
        ui->plyBut->hide();
    } else {
        m_pMovie->stop();
        ui->textLab->hide();
        ui->animLab->hide();
    }
}

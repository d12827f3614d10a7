#include "playback/CClipSaveBar.h"

#include "ui_CClipSaveBar.h"

CClipSaveBar::CClipSaveBar(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::ClipSaveBar>())
{
    ui->setupUi(this);
    connect(ui->cancelBtn, &QPushButton::clicked, this, &CClipSaveBar::sigCancel);
}

CClipSaveBar::~CClipSaveBar() = default;

void CClipSaveBar::SetProgress(int nPercent)
{
    const int nValue = qBound(0, nPercent, 100);
    ui->progressBar->setValue(nValue);
    ui->percentLab->setText(QStringLiteral("%1%").arg(nValue));
}

int CClipSaveBar::Progress() const
{
    return ui->progressBar->value();
}

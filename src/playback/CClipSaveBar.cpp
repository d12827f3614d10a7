#include "playback/CClipSaveBar.h"

#include "ui_CClipSaveBar.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>

namespace {
constexpr int kBottomGap = 24;
} // namespace

CClipSaveBar::CClipSaveBar(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::ClipSaveBar>())
{
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    // The shadow of the module's message box, so the bar reads as the same family.
    auto* pShadow = new QGraphicsDropShadowEffect(ui->panel);
    pShadow->setBlurRadius(10);
    pShadow->setColor(QColor(97, 134, 255, 127));
    pShadow->setOffset(0, 4);
    ui->panel->setGraphicsEffect(pShadow);
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

void CClipSaveBar::PlaceInParent()
{
    if (QWidget* pParent = parentWidget()) {
        move((pParent->width() - width()) / 2, pParent->height() - height() - kBottomGap);
    }
    raise();
}

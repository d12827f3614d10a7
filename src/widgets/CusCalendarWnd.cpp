#include "widgets/CusCalendarWnd.h"

#include "base/ModuleLog.h"
#include "ui_CusCalendarWnd.h"

#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

const int kCellCount = 42;
const int kDaysPerWeek = 7;
const char* const kDateTimeFormat = "yyyy-MM-dd hh:mm:ss";
const char* const kMonthFormat = "yyyy年MM月";

const char* const kDayStyle = "QRadioButton{border:none;border-radius:13px;spacing:6px;"
                              "font: 12px \"微软雅黑\";color:#4f5466;background-color:transparent;}\n"
                              "QRadioButton:checked{background-color:#6186ff;}\n"
                              "QRadioButton:indicator{width:0px;height:0px;}";
const char* const kFutureDayStyle = "QRadioButton{border:none;border-radius:13px;spacing:6px;"
                                    "font: 12px \"微软雅黑\";color:#b8bccc;background-color:transparent;}\n"
                                    "QRadioButton:checked{background-color:#6186ff;}\n"
                                    "QRadioButton:indicator{width:0px;height:0px;}";
const char* const kActiveEditStyle =
    "border:none;\nfont: 14px \"微软雅黑\";\ncolor:#4f5466;background-color:#e5ebff;";
const char* const kIdleEditStyle =
    "border:none;\nfont: 14px \"微软雅黑\";\ncolor:#b8bccc;background-color:#ffffff;";

QString TwoDigits(int nValue)
{
    return QStringLiteral("%1").arg(nValue, 2, 10, QLatin1Char('0'));
}

// A committed field always gives two digits: what was typed, padded, or what
// the field held before it was pressed.
QString FieldValue(const QString& strTyped, const QString& strRemembered)
{
    const QString strText = strTyped.isEmpty() ? strRemembered : strTyped;
    if (strText.isEmpty()) {
        return QStringLiteral("00");
    }
    return strText.size() == 1 ? QStringLiteral("0") + strText : strText;
}

void SetStyleIfChanged(QWidget* pWidget, const QString& strStyle)
{
    if (pWidget->styleSheet() != strStyle) {
        pWidget->setStyleSheet(strStyle);
    }
}

} // namespace

CusCalendarWnd::CusCalendarWnd(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CalendarWnd>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowModality(Qt::NonModal);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->addNumBtn->hide();
    ui->decreaseBtn->hide();
    InitTimeFields();
    ConnectControls(parent);
    CollectCells();
    InstallFilters();
    ActivateField(ui->secondEdit);
    m_dateShown = m_dateSelected = QDate::currentDate().addDays(-1);
    ShowSelectedDate();
}

CusCalendarWnd::~CusCalendarWnd() = default;

void CusCalendarWnd::InitTimeFields()
{
    const QRegularExpression reHour(QStringLiteral("(^[0-9]|1[0-9]|[2][0-3]$)"));
    const QRegularExpression reMinSec(QStringLiteral("^[0-5][0-9]$"));
    ui->hourEdit->setValidator(new QRegularExpressionValidator(reHour, ui->hourEdit));
    ui->minuteEdit->setValidator(new QRegularExpressionValidator(reMinSec, ui->minuteEdit));
    ui->secondEdit->setValidator(new QRegularExpressionValidator(reMinSec, ui->secondEdit));
    for (QLineEdit* pEdit : {ui->hourEdit, ui->minuteEdit, ui->secondEdit}) {
        pEdit->setMaxLength(2);
        pEdit->setContextMenuPolicy(Qt::NoContextMenu);
    }
    m_strHour = m_strMinute = m_strSecond = QStringLiteral("00");
}

void CusCalendarWnd::ConnectControls(QWidget* pParent)
{
    connect(ui->previous_month, &QPushButton::clicked, this, &CusCalendarWnd::OnPrevMonth);
    connect(ui->next_month, &QPushButton::clicked, this, &CusCalendarWnd::OnNextMonth);
    connect(ui->addNumBtn, &QPushButton::clicked, this, &CusCalendarWnd::OnAddNum);
    connect(ui->decreaseBtn, &QPushButton::clicked, this, &CusCalendarWnd::OnDecreaseNum);
    // The module window sits above this folder: it is linked by the slot's name.
    if (!pParent || pParent->metaObject()->indexOfSlot("slotCalendarSet(QString)") < 0) {
        MC_LOG(3, "CusCalendarWnd::ConnectControls",
               "<%d>\t<%s>,parent is not the module window, choice not linked");
        return;
    }
    connect(this, SIGNAL(sigCalendarSet(QString)), pParent, SLOT(slotCalendarSet(QString)));
}

void CusCalendarWnd::CollectCells()
{
    m_vecCells.reserve(kCellCount);
    for (int i = 1; i <= kCellCount; ++i) {
        DayCell cell;
        cell.pCell = findChild<QWidget*>(QStringLiteral("cell%1").arg(i));
        cell.pLabel = findChild<QLabel*>(QStringLiteral("label%1").arg(i));
        cell.pDayBtn = findChild<QRadioButton*>(QStringLiteral("radioButton%1").arg(i));
        Q_ASSERT(cell.pCell && cell.pLabel && cell.pDayBtn);
        // Selection is drawn by the grid itself, not by button groups.
        cell.pDayBtn->setAutoExclusive(false);
        m_vecCells.push_back(cell);
    }
}

void CusCalendarWnd::InstallFilters()
{
    for (const DayCell& cell : qAsConst(m_vecCells)) {
        cell.pDayBtn->installEventFilter(this);
    }
    installEventFilter(this);
    for (QLineEdit* pEdit : {ui->hourEdit, ui->minuteEdit, ui->secondEdit}) {
        pEdit->installEventFilter(this);
    }
}

void CusCalendarWnd::SetDateTime(const QString& strDateTime)
{
    const QDateTime dtValue = QDateTime::fromString(strDateTime, QString::fromLatin1(kDateTimeFormat));
    if (!dtValue.isValid()) {
        MC_LOG(5, "CusCalendarWnd::SetDateTime", "<%d>\t<%s>,unreadable date time:%s",
               strDateTime.toLocal8Bit().constData());
        return;
    }
    m_dateShown = m_dateSelected = QDate::fromString(strDateTime.left(10), QStringLiteral("yyyy-MM-dd"));
    ShowSelectedDate();
    const QString strTime = strDateTime.right(8);
    ui->hourEdit->setText(strTime.mid(0, 2));
    ui->minuteEdit->setText(strTime.mid(3, 2));
    ui->secondEdit->setText(strTime.mid(6, 2));
}

void CusCalendarWnd::ShowSelectedDate()
{
    FillMonth(m_dateSelected.year(), m_dateSelected.month());
    const int nSelected = m_nFirstDayOffset + m_dateSelected.day() - 1;
    for (int i = 0; i < m_vecCells.size(); ++i) {
        m_vecCells[i].pDayBtn->setChecked(i == nSelected);
    }
    ui->date_label->setText(m_dateSelected.toString(QString::fromUtf8(kMonthFormat)));
}

void CusCalendarWnd::FillMonth(int nYear, int nMonth)
{
    QDate date(nYear, nMonth, 1);
    if (!date.isValid()) {
        MC_LOG(5, "CusCalendarWnd::FillMonth", "<%d>\t<%s>,no such month:%d-%d", nYear, nMonth);
        return;
    }
    m_nFirstDayOffset = date.dayOfWeek() % kDaysPerWeek; // Sunday is column 0
    int nIndex = 0;
    for (; nIndex < m_nFirstDayOffset; ++nIndex) {
        HideCell(nIndex);
    }
    const QDate today = QDate::currentDate();
    const QString strDayStyle = QString::fromUtf8(kDayStyle);
    const QString strFutureStyle = QString::fromUtf8(kFutureDayStyle);
    for (; nIndex < kCellCount && date.month() == nMonth; ++nIndex, date = date.addDays(1)) {
        const DayCell& cell = m_vecCells[nIndex];
        cell.pLabel->hide();
        cell.pDayBtn->show();
        cell.pDayBtn->setText(TwoDigits(date.day()));
        cell.pDayBtn->setChecked(date == m_dateSelected);
        SetStyleIfChanged(cell.pDayBtn, date > today ? strFutureStyle : strDayStyle);
    }
    for (; nIndex < kCellCount; ++nIndex) {
        HideCell(nIndex);
    }
    ui->date_label->setText(m_dateShown.toString(QString::fromUtf8(kMonthFormat)));
}

void CusCalendarWnd::HideCell(int nIndex)
{
    const DayCell& cell = m_vecCells[nIndex];
    cell.pLabel->hide();
    cell.pDayBtn->hide();
    cell.pDayBtn->setChecked(false);
}

void CusCalendarWnd::OnPrevMonth()
{
    m_dateShown = m_dateShown.addMonths(-1);
    FillMonth(m_dateShown.year(), m_dateShown.month());
}

void CusCalendarWnd::OnNextMonth()
{
    m_dateShown = m_dateShown.addMonths(1);
    FillMonth(m_dateShown.year(), m_dateShown.month());
}

QString* CusCalendarWnd::RememberedText(const QLineEdit* pEdit)
{
    if (pEdit == ui->hourEdit) {
        return &m_strHour;
    }
    if (pEdit == ui->minuteEdit) {
        return &m_strMinute;
    }
    if (pEdit == ui->secondEdit) {
        return &m_strSecond;
    }
    return nullptr;
}

int CusCalendarWnd::FieldLimit(const QLineEdit* pEdit) const
{
    return pEdit == ui->hourEdit ? 23 : 59;
}

void CusCalendarWnd::ActivateField(QLineEdit* pEdit)
{
    for (QLineEdit* pField : {ui->hourEdit, ui->minuteEdit, ui->secondEdit}) {
        pField->setStyleSheet(QString::fromUtf8(pField == pEdit ? kActiveEditStyle : kIdleEditStyle));
    }
    m_pCurEdit = pEdit;
}

bool CusCalendarWnd::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (auto* pEdit = qobject_cast<QLineEdit*>(watched)) {
            // The field is emptied for typing; its old text stays as fallback.
            ActivateField(pEdit);
            if (QString* pRemembered = RememberedText(pEdit)) {
                *pRemembered = pEdit->text();
            }
            pEdit->clear();
            return false;
        }
        if (auto* pDayBtn = qobject_cast<QRadioButton*>(watched)) {
            OnDayPressed(pDayBtn);
        }
        return true;
    case QEvent::MouseButtonDblClick:
        return true;
    case QEvent::WindowDeactivate:
        // Once hidden the choice is already out; a late deactivation of the
        // hidden pop-up must not send it again.
        if (watched == this && isVisible()) {
            CommitChoice();
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void CusCalendarWnd::OnDayPressed(const QRadioButton* pDayBtn)
{
    bool bOk = false;
    const int nDay = pDayBtn->text().toInt(&bOk, 10);
    const QDate date(m_dateShown.year(), m_dateShown.month(), bOk ? nDay : 0);
    if (!date.isValid()) {
        MC_LOG(5, "CusCalendarWnd::OnDayPressed", "<%d>\t<%s>,no day on button:%s",
               pDayBtn->text().toLocal8Bit().constData());
        return;
    }
    m_dateSelected = date;
    ShowSelectedDate();
}

void CusCalendarWnd::CommitChoice()
{
    const QString strHour = FieldValue(ui->hourEdit->text(), m_strHour);
    const QString strMinute = FieldValue(ui->minuteEdit->text(), m_strMinute);
    const QString strSecond = FieldValue(ui->secondEdit->text(), m_strSecond);
    ui->hourEdit->setText(strHour);
    ui->minuteEdit->setText(strMinute);
    ui->secondEdit->setText(strSecond);
    m_strResult = m_dateSelected.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + strHour +
                  QLatin1Char(':') + strMinute + QLatin1Char(':') + strSecond;
    MC_LOG(3, "CusCalendarWnd::CommitChoice", "<%d>\t<%s>,choice:%s", m_strResult.toLocal8Bit().constData());
    emit sigCalendarSet(m_strResult);
    hide();
}

void CusCalendarWnd::showEvent(QShowEvent* event)
{
    setFocus();
    QDialog::showEvent(event);
}

void CusCalendarWnd::OnAddNum()
{
    if (!m_pCurEdit) {
        return;
    }
    const int nValue = m_pCurEdit->text().toInt();
    if (nValue >= FieldLimit(m_pCurEdit)) {
        return;
    }
    m_pCurEdit->setText(TwoDigits(nValue + 1));
}

void CusCalendarWnd::OnDecreaseNum()
{
    if (!m_pCurEdit) {
        return;
    }
    const int nValue = m_pCurEdit->text().toInt();
    if (nValue <= 0) {
        return;
    }
    m_pCurEdit->setText(TwoDigits(nValue - 1));
}

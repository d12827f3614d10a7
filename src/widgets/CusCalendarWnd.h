// The pop-up with which the operator picks the start or end of the filter's
// time span: a month grid of day buttons and three two-digit time fields.
// There is no OK button: losing activation commits the choice, emits it as
// "yyyy-MM-dd hh:mm:ss" and hides the pop-up.
#pragma once

#include <QDate>
#include <QDialog>
#include <QString>
#include <QVector>

#include <memory>

namespace Ui {
class CalendarWnd;
}

class QLabel;
class QLineEdit;
class QRadioButton;

class CusCalendarWnd : public QDialog
{
    Q_OBJECT
public:
    explicit CusCalendarWnd(QWidget* parent);
    ~CusCalendarWnd() override;

    // Shows a "yyyy-MM-dd hh:mm:ss" text; any other text is logged and leaves
    // the pop-up as it was.
    void SetDateTime(const QString& strDateTime);

signals:
    void sigCalendarSet(QString strCal);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void OnPrevMonth();
    void OnNextMonth();
    void OnAddNum();
    void OnDecreaseNum();

private:
    struct DayCell
    {
        QWidget* pCell = nullptr;
        QLabel* pLabel = nullptr;
        QRadioButton* pDayBtn = nullptr;
    };

    void InitTimeFields();
    void ConnectControls(QWidget* pParent);
    void CollectCells();
    void InstallFilters();
    void ShowSelectedDate();
    void FillMonth(int nYear, int nMonth);
    void HideCell(int nIndex);
    void ActivateField(QLineEdit* pEdit);
    void OnDayPressed(const QRadioButton* pDayBtn);
    void CommitChoice();
    QString* RememberedText(const QLineEdit* pEdit);
    int FieldLimit(const QLineEdit* pEdit) const;

    std::unique_ptr<Ui::CalendarWnd> ui;
    QVector<DayCell> m_vecCells;
    QDate m_dateShown;
    QDate m_dateSelected;
    int m_nFirstDayOffset = 0;
    QLineEdit* m_pCurEdit = nullptr;
    QString m_strResult;
    QString m_strHour;
    QString m_strMinute;
    QString m_strSecond;
};

// Which widget a module-driver path names: reading order on the screen, not
// creation order; hidden widgets skipped; "parent/child" scopes the search.
// The demo and the host-window test drive the gestures and queries.
#include "ModuleDriver.h"

#include <QPushButton>
#include <QtTest>

class TestModuleDriver : public QObject
{
    Q_OBJECT
private slots:
    void pathsNameVisibleWidgetsInReadingOrderAndScope()
    {
        QWidget root;
        root.resize(400, 400);
        auto* box = new QWidget(&root);
        box->setObjectName(QStringLiteral("box"));
        box->setGeometry(200, 300, 150, 60);
        // Created lower, upper, hidden, then one in the box.
        QList<QPushButton*> buttons;
        for (const QRect& place :
             {QRect(10, 200, 80, 30), QRect(10, 10, 80, 30), QRect(10, 100, 80, 30), QRect()}) {
            buttons << new QPushButton(place.isNull() ? box : &root);
            buttons.last()->setObjectName(QStringLiteral("btn"));
            buttons.last()->setGeometry(place.isNull() ? QRect(0, 0, 80, 30) : place);
        }
        buttons[2]->hide();
        root.show();
        QVERIFY(QTest::qWaitForWindowExposed(&root));

        int clicks[4] = {};
        for (int i = 0; i < 4; ++i)
            connect(buttons[i], &QPushButton::clicked, this, [&clicks, i] { ++clicks[i]; });
        const auto run = [](const QString& line) {
            std::function<void()> action;
            const QString answer = ModuleDriver::prepare(line, action);
            if (action)
                action();
            return answer;
        };
        // Path, then which button it clicks (-1: none, an error).
        const QList<QPair<QString, int>> cases{{"btn", 1},     {"btn#2", 0},      {"btn#3", 3}, {"btn#4", -1},
                                               {"box/btn", 3}, {"box/btn#2", -1}, {"btn#0", -1}};
        for (const auto& [path, index] : cases) {
            const int before = index < 0 ? 0 : clicks[index];
            const QString answer = run(QStringLiteral("click ") + path);
            QVERIFY2(answer.startsWith(index < 0 ? QStringLiteral("ERROR") : QStringLiteral("OK")),
                     qPrintable(answer));
            if (index >= 0)
                QCOMPARE(clicks[index], before + 1);
        }
        QCOMPARE(clicks[0] + clicks[1] + clicks[2] + clicks[3], 4);
    }
};

QTEST_MAIN(TestModuleDriver)
#include "tst_moduledriver.moc"

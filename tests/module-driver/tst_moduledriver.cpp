// The module driver's commands as the demo uses them, on widgets of the
// test's own: which widget a path names (reading order, scope, hidden ones
// skipped), what the gestures do to it, and the answers of the queries.
#include "ModuleDriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

class TestModuleDriver : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QWidget> m_root;
    QPushButton* m_lower = nullptr;
    QPushButton* m_upper = nullptr;
    QPushButton* m_inBox = nullptr;
    QLineEdit* m_edit = nullptr;
    QTabWidget* m_tabs = nullptr;

    // The answer to a line, after its gesture has run.
    static QString run(const QString& line)
    {
        std::function<void()> action;
        const QString answer = ModuleDriver::prepare(line, action);
        if (action) {
            action();
        }
        return answer;
    }

    static QPushButton* button(QWidget* parent, const QString& name, const QRect& geometry)
    {
        auto* b = new QPushButton(name, parent);
        b->setObjectName(name);
        b->setGeometry(geometry);
        return b;
    }

private slots:
    void init()
    {
        m_root = std::make_unique<QWidget>();
        m_root->resize(400, 400);
        // Created first, placed lower: reading order is the screen's, not creation's.
        m_lower = button(m_root.get(), QStringLiteral("btn"), QRect(10, 200, 80, 30));
        m_upper = button(m_root.get(), QStringLiteral("btn"), QRect(10, 10, 80, 30));
        button(m_root.get(), QStringLiteral("btn"), QRect(10, 100, 80, 30))->hide();
        auto* box = new QWidget(m_root.get());
        box->setObjectName(QStringLiteral("box"));
        box->setGeometry(200, 300, 150, 60);
        m_inBox = button(box, QStringLiteral("btn"), QRect(0, 0, 80, 30));
        auto* title = new QLabel(QStringLiteral("标题 one"), m_root.get());
        title->setObjectName(QStringLiteral("title"));
        title->setGeometry(120, 10, 100, 20);
        m_edit = new QLineEdit(m_root.get());
        m_edit->setObjectName(QStringLiteral("edit"));
        m_edit->setGeometry(120, 50, 150, 24);
        m_tabs = new QTabWidget(m_root.get());
        m_tabs->setObjectName(QStringLiteral("tabs"));
        m_tabs->setGeometry(120, 100, 250, 150);
        m_tabs->addTab(new QWidget, QStringLiteral("全部"));
        m_tabs->addTab(new QWidget, QStringLiteral("未读"));
        m_root->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_root.get()));
    }

    void cleanup() { m_root.reset(); }

    void pathsNameVisibleWidgetsInReadingOrderAndScope()
    {
        QSignalSpy upper(m_upper, &QPushButton::clicked);
        QSignalSpy lower(m_lower, &QPushButton::clicked);
        QSignalSpy inBox(m_inBox, &QPushButton::clicked);
        QCOMPARE(run(QStringLiteral("click btn")), QStringLiteral("OK click btn"));
        QCOMPARE(upper.size(), 1);
        QCOMPARE(run(QStringLiteral("click btn#2")), QStringLiteral("OK click btn#2"));
        QCOMPARE(lower.size(), 1);
        // The hidden one is skipped: the third visible is the box's, lowest of all.
        QCOMPARE(run(QStringLiteral("click btn#3")), QStringLiteral("OK click btn#3"));
        QCOMPARE(inBox.size(), 1);
        QVERIFY(run(QStringLiteral("click btn#4")).startsWith(QStringLiteral("ERROR no visible widget")));
        QCOMPARE(run(QStringLiteral("click box/btn")), QStringLiteral("OK click box/btn"));
        QCOMPARE(inBox.size(), 2);
        QVERIFY(run(QStringLiteral("click box/btn#2")).startsWith(QStringLiteral("ERROR")));
        QVERIFY(run(QStringLiteral("click btn#0")).startsWith(QStringLiteral("ERROR bad widget path")));
        QCOMPARE(upper.size() + lower.size(), 2);
    }

    void queriesAnswerVisibilityStateTextAndPlace()
    {
        QCOMPARE(run(QStringLiteral("visible box/btn")), QStringLiteral("OK visible box/btn 1"));
        QCOMPARE(run(QStringLiteral("visible btn#4")), QStringLiteral("OK visible btn#4 0"));
        m_upper->setEnabled(false);
        QCOMPARE(run(QStringLiteral("enabled btn")), QStringLiteral("OK enabled btn 0"));
        QCOMPARE(run(QStringLiteral("text title")), QStringLiteral("OK text title 标题 one"));
        const QPoint corner = m_inBox->mapToGlobal(QPoint(0, 0));
        QCOMPARE(run(QStringLiteral("rect box/btn")),
                 QStringLiteral("OK rect box/btn %1 %2 80 30").arg(corner.x()).arg(corner.y()));
        QVERIFY(run(QStringLiteral("press btn")).startsWith(QStringLiteral("ERROR unknown command")));
    }

    void gesturesTypeSwitchTabsAndPressKeys()
    {
        QCOMPARE(run(QStringLiteral("type edit Ab c-1")), QStringLiteral("OK type edit Ab c-1"));
        QCOMPARE(m_edit->text(), QStringLiteral("Ab c-1"));
        QCOMPARE(run(QStringLiteral("key edit Backspace")), QStringLiteral("OK key edit Backspace"));
        QCOMPARE(m_edit->text(), QStringLiteral("Ab c-"));
        QCOMPARE(run(QStringLiteral("tab tabs 1")), QStringLiteral("OK tab tabs 1"));
        QCOMPARE(m_tabs->currentIndex(), 1);
        QVERIFY(run(QStringLiteral("tab tabs 2")).startsWith(QStringLiteral("ERROR no tab")));
        QVERIFY(run(QStringLiteral("tab edit 0")).startsWith(QStringLiteral("ERROR no tab")));
    }

    void menuEntriesAreListedAndClicked()
    {
        QVERIFY(run(QStringLiteral("menu")).startsWith(QStringLiteral("ERROR no open menu")));
        QMenu menu(m_root.get());
        QAction* first = menu.addAction(QStringLiteral("删除"));
        menu.addSeparator();
        QAction* second = menu.addAction(QStringLiteral("批量删除"));
        QSignalSpy firstSpy(first, &QAction::triggered);
        QSignalSpy secondSpy(second, &QAction::triggered);
        menu.popup(m_root->mapToGlobal(QPoint(50, 50)));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QCOMPARE(run(QStringLiteral("menu")), QStringLiteral("OK menu 删除|批量删除"));
        QVERIFY(run(QStringLiteral("menu 全部")).startsWith(QStringLiteral("ERROR no menu entry")));
        QCOMPARE(run(QStringLiteral("menu 批量删除")), QStringLiteral("OK menu 批量删除"));
        QCOMPARE(secondSpy.size(), 1);
        QCOMPARE(firstSpy.size(), 0);
        QVERIFY(!menu.isVisible());
    }
};

QTEST_MAIN(TestModuleDriver)
#include "tst_moduledriver.moc"

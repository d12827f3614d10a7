#include "WidgetPath.h"

#include <QApplication>
#include <QStringList>
#include <QWidget>

#include <algorithm>

namespace {

struct Step
{
    QString name;
    int index = 1; // 1-based
};

bool parseStep(const QString& text, Step& step)
{
    const int hash = text.indexOf(QLatin1Char('#'));
    step.name = hash < 0 ? text : text.left(hash);
    if (hash >= 0) {
        bool ok = false;
        step.index = text.mid(hash + 1).toInt(&ok);
        if (!ok || step.index < 1) {
            return false;
        }
    }
    return !step.name.isEmpty();
}

bool readsBefore(const QWidget* a, const QWidget* b)
{
    const QPoint pa = a->mapToGlobal(QPoint(0, 0));
    const QPoint pb = b->mapToGlobal(QPoint(0, 0));
    return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
}

QWidget* findStep(const Step& step, const QWidget* scope)
{
    QList<QWidget*> matches;
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget* widget : widgets) {
        if (widget->objectName() == step.name && widget->isVisible() &&
            (!scope || (widget != scope && scope->isAncestorOf(widget)))) {
            matches.append(widget);
        }
    }
    std::stable_sort(matches.begin(), matches.end(), readsBefore);
    return step.index <= matches.size() ? matches.at(step.index - 1) : nullptr;
}

} // namespace

namespace WidgetPath {

QWidget* find(const QString& path, QString* error)
{
    QWidget* found = nullptr;
    const QStringList steps = path.split(QLatin1Char('/'));
    for (const QString& text : steps) {
        Step step;
        if (!parseStep(text, step)) {
            if (error) {
                *error = QStringLiteral("bad widget path %1").arg(path);
            }
            return nullptr;
        }
        found = findStep(step, found);
        if (!found) {
            if (error) {
                *error = QStringLiteral("no visible widget %1").arg(path);
            }
            return nullptr;
        }
    }
    return found;
}

} // namespace WidgetPath

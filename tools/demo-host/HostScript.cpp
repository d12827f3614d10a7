#include "HostScript.h"

#include <QStringList>

#include <climits>

namespace {

bool parseNumber(const QString& text, qint64& value)
{
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok;
}

bool parseIntArgument(const QStringList& words, int& value, QString& error)
{
    qint64 number = 0;
    if (words.size() != 2 || !parseNumber(words.at(1), number) || number < INT_MIN || number > INT_MAX) {
        error = QStringLiteral("%1 needs one integer").arg(words.first());
        return false;
    }
    value = int(number);
    return true;
}

bool parseCommand(const QStringList& words, HostCommand& command, QString& error)
{
    const QString verb = words.first();
    command = HostCommand();
    const struct
    {
        const char* verb;
        HostCommand::Kind kind;
        bool hasValue;
    } table[] = {{"show", HostCommand::Show, true},
                 {"hide", HostCommand::Hide, true},
                 {"min", HostCommand::Minimise, true},
                 {"bigpic", HostCommand::BigPicture, true},
                 {"moved", HostCommand::Moved, false},
                 {"newalarm", HostCommand::NewAlarm, false},
                 {"startpush", HostCommand::StartPush, false},
                 {"close", HostCommand::Close, false},
                 {"ping", HostCommand::Ping, true}};
    for (const auto& entry : table) {
        if (verb != QLatin1String(entry.verb)) {
            continue;
        }
        command.eKind = entry.kind;
        if (entry.hasValue) {
            return parseIntArgument(words, command.nValue, error);
        }
        if (words.size() != 1) {
            error = QStringLiteral("%1 takes no argument").arg(verb);
            return false;
        }
        return true;
    }
    if (verb == QLatin1String("restore") && words.size() == 1) {
        command.eKind = HostCommand::Minimise;
        command.nValue = 0;
        return true;
    }
    if (verb == QLatin1String("tokens")) {
        if (words.size() != 3) {
            error = QStringLiteral("tokens needs a token and a refresh token");
            return false;
        }
        command.eKind = HostCommand::UpdateTokens;
        command.strFirst = words.at(1);
        command.strSecond = words.at(2);
        return true;
    }
    error = QStringLiteral("unknown command %1").arg(verb);
    return false;
}

// The host's own window: true when the line is one of those; a malformed one
// leaves the kind set to Window and an error.
bool parseWindowOp(const QStringList& words, ScriptLine& out, QString& error)
{
    const QString verb = words.first();
    if (verb == QLatin1String("page")) {
        out.kind = ScriptLine::Window;
        out.windowOp = ScriptLine::Page;
        out.text = words.value(1);
        if (words.size() != 2 ||
            (out.text != QLatin1String("messages") && out.text != QLatin1String("overview"))) {
            error = QStringLiteral("page needs messages or overview");
            return false;
        }
        return true;
    }
    if (verb == QLatin1String("hostmin") || verb == QLatin1String("hostrestore")) {
        out.kind = ScriptLine::Window;
        out.windowOp = verb == QLatin1String("hostmin") ? ScriptLine::MinimiseHost : ScriptLine::RestoreHost;
        return words.size() == 1 || (error = QStringLiteral("%1 takes no argument").arg(verb), false);
    }
    if (verb == QLatin1String("hostmove")) {
        out.kind = ScriptLine::Window;
        out.windowOp = ScriptLine::MoveHost;
        qint64 x = 0;
        qint64 y = 0;
        if (words.size() != 3 || !parseNumber(words.at(1), x) || !parseNumber(words.at(2), y) ||
            qAbs(x) > 100000 || qAbs(y) > 100000) {
            error = QStringLiteral("hostmove needs x and y");
            return false;
        }
        out.x = int(x);
        out.y = int(y);
        return true;
    }
    return false;
}

} // namespace

bool parseScriptLine(const QString& line, ScriptLine& out, QString& error)
{
    out = ScriptLine();
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) {
        return true;
    }
    const QStringList words = trimmed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = words.first();
    if (verb == QLatin1String("quit")) {
        out.kind = ScriptLine::Quit;
        return words.size() == 1 || (error = QStringLiteral("quit takes no argument"), false);
    }
    if (verb == QLatin1String("ackresult")) {
        out.kind = ScriptLine::AckResult;
        if (words.size() != 2 || !parseNumber(words.at(1), out.number)) {
            error = QStringLiteral("ackresult needs one integer");
            return false;
        }
        return true;
    }
    if (verb == QLatin1String("preack")) {
        out.kind = ScriptLine::PreAck;
        if (words.size() < 2) {
            error = QStringLiteral("preack needs a command");
            return false;
        }
        return parseCommand(words.mid(1), out.command, error);
    }
    if (verb == QLatin1String("rect")) {
        out.kind = ScriptLine::Rect;
        qint64 v[4] = {0, 0, 0, 0};
        if (words.size() != 5) {
            error = QStringLiteral("rect needs left top right bottom");
            return false;
        }
        for (int i = 0; i < 4; ++i) {
            if (!parseNumber(words.at(i + 1), v[i]) || v[i] < INT_MIN || v[i] > INT_MAX) {
                error = QStringLiteral("rect needs four integers");
                return false;
            }
        }
        out.rect = RECT{int(v[0]), int(v[1]), int(v[2]), int(v[3])};
        return true;
    }
    if (verb == QLatin1String("raw")) {
        out.kind = ScriptLine::Raw;
        const QByteArray hex = trimmed.mid(3).remove(QLatin1Char(' ')).toLatin1();
        out.bytes = QByteArray::fromHex(hex);
        if (hex.isEmpty() || hex.size() % 2 != 0 || out.bytes.toHex() != hex.toLower()) {
            error = QStringLiteral("raw needs bytes in hex");
            return false;
        }
        return true;
    }
    if (verb == QLatin1String("ui")) {
        out.kind = ScriptLine::Ui;
        out.text = trimmed.mid(2).trimmed();
        return !out.text.isEmpty() || (error = QStringLiteral("ui needs a driver command"), false);
    }
    if (parseWindowOp(words, out, error)) {
        return true;
    }
    if (out.kind == ScriptLine::Window) {
        return false;
    }
    out.kind = ScriptLine::Command;
    return parseCommand(words, out.command, error);
}

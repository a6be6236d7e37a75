#include "consolehighlighter.h"

ConsoleHighlighter::ConsoleHighlighter(QTextDocument* document) : QSyntaxHighlighter(document)
{
    // Anchored: a prefix later in a line is part of the message, not a level.
    rules = {
        {QRegularExpression(QStringLiteral("^ERROR: ")), QColor(Qt::red)},
        {QRegularExpression(QStringLiteral("^WARNING: ")), QColor(Qt::yellow)},
        {QRegularExpression(QStringLiteral("^INFO: ")), QColor(Qt::cyan)},
    };
}

void ConsoleHighlighter::highlightBlock(const QString& text)
{
    for (const Rule& rule : qAsConst(rules)) {
        const QRegularExpressionMatch match = rule.pattern.match(text);
        if (match.hasMatch())
            setFormat(match.capturedStart(), match.capturedLength(), rule.colour);
    }
}

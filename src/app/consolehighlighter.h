#pragma once

#include <QColor>
#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QVector>

// Colours the message prefix ("ERROR: ", "WARNING: ", "INFO: ") at the start
// of each console line; the rest of the line keeps the view's text colour.
class ConsoleHighlighter : public QSyntaxHighlighter
{
public:
    explicit ConsoleHighlighter(QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;

private:
    struct Rule
    {
        QRegularExpression pattern;
        QColor colour;
    };
    QVector<Rule> rules;
};

#include "darkstyle.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QStyleFactory>

QPalette DarkStyle::palette()
{
    const QColor window(45, 45, 48);
    const QColor text(208, 208, 208);
    const QColor highlight(42, 130, 218);
    const struct
    {
        QPalette::ColorRole role;
        QColor colour;
    } roles[] = {
        {QPalette::Window, window},
        {QPalette::WindowText, text},
        {QPalette::Base, QColor(25, 25, 25)},
        {QPalette::AlternateBase, window},
        {QPalette::ToolTipBase, text},
        {QPalette::ToolTipText, text},
        {QPalette::Text, text},
        {QPalette::Button, window},
        {QPalette::ButtonText, text},
        {QPalette::BrightText, QColor(Qt::red)},
        {QPalette::Link, highlight},
        {QPalette::Highlight, highlight},
        {QPalette::HighlightedText, QColor(Qt::black)},
    };
    QPalette p;
    for (const auto& r : roles)
        p.setColor(QPalette::All, r.role, r.colour);
    return p;
}

void DarkStyle::apply(QApplication& app)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(palette());
    QFile sheet(QStringLiteral(":/stylesheets/fusiondark.qss"));
    if (sheet.open(QFile::ReadOnly | QFile::Text))
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

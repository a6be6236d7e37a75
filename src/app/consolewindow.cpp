#include "consolewindow.h"

#include "consolehighlighter.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

ConsoleWindow::ConsoleWindow(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{
    setWindowTitle(tr("Console"));
    setWindowIcon(QIcon(QStringLiteral(":icons/application.png")));
    setMinimumWidth(300);

    textView = new QPlainTextEdit(this);
    textView->setObjectName(QStringLiteral("textView"));
    textView->setReadOnly(true);
    new ConsoleHighlighter(textView->document()); // owned by the document

    showOnLabel = new QLabel(tr("Show on"), this);
    showOnCombo = new QComboBox(this);
    showOnCombo->setObjectName(QStringLiteral("showOnCombo"));
    showOnCombo->addItem(tr("Errors Only"), int(ShowOnErrors));
    showOnCombo->addItem(tr("Errors and Warnings"), int(ShowOnWarnings));
    showOnCombo->addItem(tr("Errors, Warnings and Info"), int(ShowOnInfo));
    showOnCombo->addItem(tr("Any Output"), int(ShowOnAnyOutput));
    showOnCombo->addItem(tr("Disabled"), int(ShowOnDisabled));

    clearButton = new QPushButton(tr("Clear Display"), this);
    clearButton->setObjectName(QStringLiteral("clearButton"));
    clearButton->setMinimumSize(60, 24);
    closeButton = new QPushButton(tr("Close"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setMinimumSize(60, 24);
    closeButton->setAutoDefault(true);
    closeButton->setDefault(true);
    closeButton->setFocus();

    auto* showOnRow = new QHBoxLayout;
    showOnRow->addStretch();
    showOnRow->addWidget(showOnLabel);
    showOnRow->addWidget(showOnCombo);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(clearButton);
    buttonRow->addStretch();
    buttonRow->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addLayout(showOnRow);
    layout->addWidget(textView);
    layout->addLayout(buttonRow);

    connect(clearButton, &QPushButton::clicked, textView, &QPlainTextEdit::clear);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(showOnCombo, qOverload<int>(&QComboBox::activated), this,
            [this] { emit showOnTypeChosen(showOnType()); });
}

void ConsoleWindow::setShowOnType(int value)
{
    if (value > ShowOnAnyOutput)
        return;
    showOnCombo->setCurrentIndex(showOnCombo->findData(value, Qt::UserRole, Qt::MatchCaseSensitive));
}

int ConsoleWindow::showOnType() const
{
    if (showOnCombo->currentIndex() < 0)
        return 0;
    return showOnCombo->currentData(Qt::UserRole).toInt();
}

QString ConsoleWindow::text() const
{
    return textView->toPlainText();
}

void ConsoleWindow::error(const QString& text)
{
    append(tr("ERROR: ") + text, ShowOnDisabled);
}

void ConsoleWindow::warning(const QString& text)
{
    append(tr("WARNING: ") + text, ShowOnErrors);
}

void ConsoleWindow::info(const QString& text)
{
    append(tr("INFO: ") + text, ShowOnWarnings);
}

void ConsoleWindow::output(const QString& text)
{
    append(text, ShowOnInfo);
}

void ConsoleWindow::append(const QString& line, int popUpAbove)
{
    textView->appendPlainText(line);
    if (showOnType() > popUpAbove)
        popUp();
}

void ConsoleWindow::popUp()
{
    if (isHidden()) {
        show();
    } else {
        activateWindow();
        raise();
    }
}

void ConsoleWindow::closeEvent(QCloseEvent* event)
{
    savedGeometry = saveGeometry();
    QWidget::closeEvent(event);
}

void ConsoleWindow::showEvent(QShowEvent* event)
{
    // Only an explicit show restores; un-minimising keeps where the user moved it.
    if (!event->spontaneous() && !savedGeometry.isEmpty())
        restoreGeometry(savedGeometry);
    QWidget::showEvent(event);
}

void ConsoleWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

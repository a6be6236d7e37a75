#include "gotoframedialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

GoToFrameDialog::GoToFrameDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Go to Frame"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(tr("Frame number, time code (HH:MM:SS:FF) or seconds (3.5):"), this);
    field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("goToFrameField"));
    messageLabel = new QLabel(this);
    messageLabel->setObjectName(QStringLiteral("goToFrameMessage"));
    messageLabel->setWordWrap(true);
    messageLabel->setStyleSheet(QStringLiteral("color: #ff7070"));
    layout->addWidget(hint);
    layout->addWidget(field);
    layout->addWidget(messageLabel);
    connect(field, &QLineEdit::returnPressed, this, [this] { emit entered(field->text()); });
}

void GoToFrameDialog::start(const QString& current)
{
    messageLabel->clear();
    field->setText(current);
    field->selectAll();
    field->setFocus();
    show();
    raise();
    activateWindow();
}

void GoToFrameDialog::refuse(const QString& reason)
{
    messageLabel->setText(reason);
    // The wrapped message needs more height than the empty label had.
    adjustSize();
    field->selectAll();
    field->setFocus();
}

QString GoToFrameDialog::message() const
{
    return messageLabel->text();
}

#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

// "Go to Frame...": one field for a frame number, a time code or seconds.
// Enter hands the text to the player window, which either moves there and
// closes the dialog or refuses the entry, which keeps it open with the reason.
class GoToFrameDialog : public QDialog
{
    Q_OBJECT

public:
    explicit GoToFrameDialog(QWidget* parent = nullptr);

    // Opens the dialog with the current position as the starting text.
    void start(const QString& current);
    // Shows why the entry cannot be used and selects it for retyping.
    void refuse(const QString& reason);
    QString message() const;

signals:
    void entered(const QString& text);

private:
    QLineEdit* field = nullptr;
    QLabel* messageLabel = nullptr;
};

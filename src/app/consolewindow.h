#pragma once

#include <QByteArray>
#include <QWidget>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The program's message log: a top-level window with a read-only text view.
// error(), warning(), info() and output() append one line each; the "Show on"
// choice decides which of them bring the window up by themselves. The window
// reopens where it was last closed.
class ConsoleWindow : public QWidget
{
    Q_OBJECT

public:
    // Values of the "Show on" choice, as stored in displayConsoleOnType: the
    // console pops up for every kind up to and including the named one.
    enum ShowOn
    {
        ShowOnDisabled = 0,
        ShowOnErrors = 1,
        ShowOnWarnings = 2,
        ShowOnInfo = 3,
        ShowOnAnyOutput = 4,
    };

    explicit ConsoleWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);

    // Makes the item carrying the value current. Values above 4 are ignored;
    // a value no item carries leaves no item current (nothing pops up).
    void setShowOnType(int value);
    // The current item's value; 0 when no item is current.
    int showOnType() const;

    // The whole log as plain text, one message per line.
    QString text() const;

signals:
    // The user picked another "Show on" choice.
    void showOnTypeChosen(int value);

public slots:
    void error(const QString& text);
    void warning(const QString& text);
    void info(const QString& text);
    void output(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Appends the line and pops the console up when the "Show on" value is
    // above the kind's threshold.
    void append(const QString& line, int popUpAbove);
    void popUp();

    QPlainTextEdit* textView = nullptr;
    QLabel* showOnLabel = nullptr;
    QComboBox* showOnCombo = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* closeButton = nullptr;
    // Saved when the window closes, restored when it is shown again.
    QByteArray savedGeometry;
};

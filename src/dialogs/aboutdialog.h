#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AboutDialog;
}

// The about box: product name, version, maker and the notices of the
// libraries the program uses.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

private:
    void alignCaptions();

    std::unique_ptr<Ui::AboutDialog> ui;
};

#include "aboutdialog.h"

#include "programinfo.h"
#include "ui_aboutdialog.h"

#include <QIcon>

namespace {

// The Qt line the notices were written with; the program's own replaces it.
const QString designTimeQtVersionLine = QStringLiteral("Qt Version: 5.2.1");

} // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::AboutDialog>())
{
    ui->setupUi(this);
    setWindowTitle(tr("About ") + QLatin1String(ProgramInfo::productName));
    setWindowIcon(QIcon(QStringLiteral(":icons/application.png")));
    ui->okButton->setMinimumSize(60, 24);
    alignCaptions();
    ui->versionNumberLabel->setText(QLatin1String(ProgramInfo::version));
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    QString notices = ui->textEdit->toHtml();
    notices.replace(designTimeQtVersionLine, QLatin1String(ProgramInfo::qtVersionLine));
    ui->textEdit->setHtml(notices);
}

AboutDialog::~AboutDialog() = default;

// The form keeps the captions within 54 pixels, which clips them with larger
// desktop fonts: give all three the width of the widest instead, so that the
// values still line up.
void AboutDialog::alignCaptions()
{
    const QList<QLabel*> captions = {ui->versionLabel, ui->authorLabel, ui->authorLabel_2};
    int width = 0;
    for (QLabel* caption : captions)
        width = qMax(width, caption->sizeHint().width());
    for (QLabel* caption : captions) {
        caption->setMaximumWidth(QWIDGETSIZE_MAX);
        caption->setFixedWidth(qMax(width, 54));
    }
}

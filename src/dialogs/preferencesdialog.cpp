#include "preferencesdialog.h"

#include "appsettings.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QSpinBox>
#include <QStackedWidget>

namespace {

constexpr int minCacheSize = 256;
constexpr int maxCacheSize = 4096;
constexpr int maxRecentFiles = 10;

template <typename SpinBox>
SpinBox* createSpinBox(QWidget* parent, const QString& objectName)
{
    auto* spinBox = new SpinBox(parent);
    spinBox->setObjectName(objectName);
    spinBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
    spinBox->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return spinBox;
}

QCheckBox* createCheckBox(QWidget* parent, const QString& text, const QString& objectName)
{
    auto* checkBox = new QCheckBox(text, parent);
    checkBox->setObjectName(objectName);
    return checkBox;
}

// A label, its field and anything after the field, pushed to the left.
QHBoxLayout* createRow(QWidget* label, QWidget* field, QWidget* trailer = nullptr)
{
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(field);
    if (trailer)
        row->addWidget(trailer);
    row->addSpacerItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    return row;
}

QVBoxLayout* createGroupLayout(QGroupBox* group)
{
    auto* layout = new QVBoxLayout(group);
    layout->setSpacing(2);
    const QMargins margins = layout->contentsMargins();
    layout->setContentsMargins(margins.left(), 6, margins.right(), 6);
    return layout;
}

} // namespace

PreferencesDialog::PreferencesDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Preferences"));
    resize(478, 352);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setMinimumSize(0, 0);
    setMaximumSize(2000, 2000);

    pageList = new QListWidget(this);
    pageList->setObjectName(QStringLiteral("pageList"));
    pageList->setMaximumWidth(130);
    pageList->addItem(tr("General"));
    pageList->addItem(tr("Network"));

    pages = new QStackedWidget(this);
    pages->setObjectName(QStringLiteral("pages"));
    pages->addWidget(createGeneralPage());
    pages->addWidget(createNetworkPage());
    pages->setCurrentIndex(0);
    connect(pageList, &QListWidget::currentRowChanged, pages, &QStackedWidget::setCurrentIndex);
    // Nothing selected at first, though the General page shows.
    pageList->setCurrentRow(-1);

    auto* okButton = new QPushButton(tr("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(tr("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* topRow = new QHBoxLayout;
    topRow->addWidget(pageList);
    topRow->addWidget(pages);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addSpacerItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    buttonRow->addWidget(okButton);
    buttonRow->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(topRow);
    layout->addLayout(buttonRow);

    loadSettings();
}

QWidget* PreferencesDialog::createGeneralPage()
{
    auto* page = new QWidget;

    auto* cacheGroup = new QGroupBox(tr("Cache"), page);
    auto* cacheLayout = createGroupLayout(cacheGroup);
    cacheSizeSpinBox = createSpinBox<QSpinBox>(cacheGroup, QStringLiteral("cacheSizeSpinBox"));
    cacheSizeSpinBox->setRange(minCacheSize, maxCacheSize);
    cacheSizeSpinBox->setSingleStep(1);
    cacheLayout->addLayout(
        createRow(new QLabel(tr("Size:"), cacheGroup), cacheSizeSpinBox, new QLabel(tr("MB"), cacheGroup)));
    trailingCacheSpinBox = createSpinBox<QDoubleSpinBox>(cacheGroup, QStringLiteral("trailingCacheSpinBox"));
    trailingCacheSpinBox->setDecimals(2);
    trailingCacheSpinBox->setRange(0.05, 0.95);
    trailingCacheSpinBox->setSingleStep(0.1);
    cacheLayout->addLayout(createRow(new QLabel(tr("Trailing Cache:"), cacheGroup), trailingCacheSpinBox));

    auto* fileGroup = new QGroupBox(tr("File"), page);
    auto* fileLayout = createGroupLayout(fileGroup);
    recentFilesSpinBox = createSpinBox<QSpinBox>(fileGroup, QStringLiteral("recentFilesSpinBox"));
    recentFilesSpinBox->setRange(0, maxRecentFiles);
    fileLayout->addLayout(createRow(new QLabel(tr("Recent Files:"), fileGroup), recentFilesSpinBox));
    recentBookmarkFilesSpinBox =
        createSpinBox<QSpinBox>(fileGroup, QStringLiteral("recentBookmarkFilesSpinBox"));
    recentBookmarkFilesSpinBox->setRange(0, maxRecentFiles);
    fileLayout->addLayout(
        createRow(new QLabel(tr("Recent Bookmarks Files:"), fileGroup), recentBookmarkFilesSpinBox));

    auto* optionsGroup = new QGroupBox(tr("Options"), page);
    auto* optionsLayout = createGroupLayout(optionsGroup);
    openInNewPlayersCheckBox = createCheckBox(optionsGroup, tr("Open media in new players"),
                                              QStringLiteral("openInNewPlayersCheckBox"));
    resizeToFitCheckBox =
        createCheckBox(optionsGroup, tr("Resize to fit video"), QStringLiteral("resizeToFitCheckBox"));
    continuePlayingCheckBox = createCheckBox(optionsGroup, tr("Continue playing after seek"),
                                             QStringLiteral("continuePlayingCheckBox"));
    endlessScrubCheckBox =
        createCheckBox(optionsGroup, tr("Endless mouse scrub"), QStringLiteral("endlessScrubCheckBox"));
    optionsLayout->addWidget(openInNewPlayersCheckBox);
    optionsLayout->addWidget(resizeToFitCheckBox);
    optionsLayout->addWidget(continuePlayingCheckBox);
    optionsLayout->addWidget(endlessScrubCheckBox);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(cacheGroup);
    layout->addWidget(fileGroup);
    layout->addWidget(optionsGroup);
    layout->addSpacerItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    return page;
}

QWidget* PreferencesDialog::createNetworkPage()
{
    auto* page = new QWidget;
    auto* group = new QGroupBox(tr("Configuration"), page);
    auto* groupLayout = createGroupLayout(group);
    tcpPortSpinBox = createSpinBox<QSpinBox>(group, QStringLiteral("tcpPortSpinBox"));
    tcpPortSpinBox->setRange(1024, 65535);
    groupLayout->addLayout(createRow(new QLabel(tr("Port:"), group), tcpPortSpinBox,
                                     new QLabel(tr("(requires restart)"), group)));

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addSpacerItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    return page;
}

void PreferencesDialog::loadSettings()
{
    const AppSettings& settings = appSettings();
    cacheSizeSpinBox->setRange(minCacheSize, maxCacheSize);
    recentFilesSpinBox->setRange(0, maxRecentFiles);
    recentBookmarkFilesSpinBox->setRange(0, maxRecentFiles);

    cacheSizeSpinBox->setValue(settings.cacheSize);
    trailingCacheSpinBox->setValue(settings.cacheTrailingPct);
    recentFilesSpinBox->setValue(settings.numRecentFiles);
    recentBookmarkFilesSpinBox->setValue(settings.numRecentBookmarkFiles);
    openInNewPlayersCheckBox->setChecked(settings.openMediaInNewPlayers);
    resizeToFitCheckBox->setChecked(settings.resizeToFit);
    continuePlayingCheckBox->setChecked(settings.continuePlayingAfterSeek);
    endlessScrubCheckBox->setChecked(settings.endlessMouseScrub);
    tcpPortSpinBox->setValue(settings.tcpPort);
}

void PreferencesDialog::openInNewPlayersWarning()
{
    if (!openInNewPlayersCheckBox->isChecked())
        return;
    QMessageBox box(QMessageBox::Warning, tr("Multiple Players Warning"),
                    tr("A separate cache exists for each player"), QMessageBox::Ok, this);
    box.setWindowFlags(box.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    box.exec();
}

int PreferencesDialog::cacheSize() const
{
    return cacheSizeSpinBox->value();
}

double PreferencesDialog::cacheTrailingPct() const
{
    return trailingCacheSpinBox->value();
}

int PreferencesDialog::numRecentFiles() const
{
    return recentFilesSpinBox->value();
}

int PreferencesDialog::numRecentBookmarkFiles() const
{
    return recentBookmarkFilesSpinBox->value();
}

bool PreferencesDialog::openMediaInNewPlayers() const
{
    return openInNewPlayersCheckBox->isChecked();
}

bool PreferencesDialog::resizeToFit() const
{
    return resizeToFitCheckBox->isChecked();
}

bool PreferencesDialog::continuePlayingAfterSeek() const
{
    return continuePlayingCheckBox->isChecked();
}

bool PreferencesDialog::endlessMouseScrub() const
{
    return endlessScrubCheckBox->isChecked();
}

int PreferencesDialog::tcpPort() const
{
    return tcpPortSpinBox->value();
}

#include "dialogs/frmabout.h"

#include "widgets/appicon.h"
#include "widgets/controls.h"
#include "widgets/twips.h"
#include "widgets/windowfont.h"

#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#ifndef TARNOLUX_VERSION_MAJOR
#error "TARNOLUX_VERSION_MAJOR comes from the project version"
#endif

const QString frmAbout::AppTitle = QStringLiteral("TARNOLUX");
const int frmAbout::VersionMajor = TARNOLUX_VERSION_MAJOR;
const int frmAbout::VersionMinor = TARNOLUX_VERSION_MINOR;

namespace {
constexpr double ClientWidth = 5730;
constexpr double ClientHeight = 3555;

QLabel* label(QWidget* parent, const char* name, const QString& text, double left, double top, double width,
              double height)
{
    auto* widget = Controls::make<QLabel>(parent, name, text, {left, top, width, height});
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    widget->setWordWrap(true);
    return widget;
}

// One line of the etched separator, drawn as a filled strip.
void separatorLine(QWidget* parent, int index, const QColor& colour, double left, double top, double width,
                   double height)
{
    auto* line = Controls::make<QFrame>(parent, "Line1", QString(), {left, top, width, height});
    line->setProperty("Index", index);
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
}
} // namespace

QString frmAbout::versionText(int major, int minor)
{
    return QStringLiteral("This is Version ") + QString::number(major) + QLatin1Char('.') +
           QString::number(minor);
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    const QFont font = windowFont();
    setFont(font);
    setFixedSize(Twips::toPixels(ClientWidth), Twips::toPixels(ClientHeight));

    QLabel* icon = label(this, "picIcon", QString(), 120, 240, 540, 540);
    icon->setPixmap(QPixmap::fromImage(AppIcon::render(AppIcon::IconSize)));
    icon->setAlignment(Qt::AlignCenter);
    m_titleLabel = label(this, "lblTitle", QString(), 960, 240, 4125, 360);
    QFont titleFont = font;
    titleFont.setPointSizeF(12);
    titleFont.setBold(true);
    m_titleLabel->setFont(titleFont);
    m_versionLabel = label(this, "lblVersion", QString(), 960, 600, 3885, 225);
    label(this, "lblDescription", QStringLiteral("TARNOLUX is developed and owned by:"), 960, 1080, 4365,
          330);
    label(this, "Label1", QStringLiteral("TARNOLUX team"), 960, 1440, 3615, 375);
    label(this, "Label2", QStringLiteral("Optics Lab Software"), 960, 1680, 3015, 375);
    label(this, "Label3", QStringLiteral("tarnolux.example"), 960, 1920, 2175, 375);
    separatorLine(this, 0, QColor(0x80, 0x80, 0x80), 90, 2445, 5654 - 90, 15);
    separatorLine(this, 1, Qt::white, 105, 2460, 5654 - 105, 30);
    label(this, "lblDisclaimer",
          QStringLiteral("This software is provided as is, without warranty of any kind. "
                         "Check your measurements before you rely on them."),
          255, 2625, 3750, 825);
    auto* ok = Controls::make<CommandButton>(this, "cmdOK", QStringLiteral("OK"), {4245, 2625, 1260, 345});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);
    Controls::orderTabs(this);

    load();
}

frmAbout::~frmAbout() = default;

void frmAbout::load()
{
    setWindowTitle(QStringLiteral("About ") + AppTitle);
    m_versionLabel->setText(versionText(VersionMajor, VersionMinor));
    m_titleLabel->setText(AppTitle);
}

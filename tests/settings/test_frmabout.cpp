#include "mainwindow/mainwindowfixture.h"
#include "widgets/twips.h"
#include "widgets/windowlayer.h"
#include "widgets/appicon.h"
#include "dialogs/frmabout.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// The about box and the program's own pictures.
class TestFrmAbout : public QObject {
    Q_OBJECT

    // Share of pixels that are not transparent.
    static double coverage(const QImage& image)
    {
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        return double(opaque) / (image.width() * image.height());
    }

private slots:
    void loadStep()
    {
        QPointer<frmAbout> about = new frmAbout;
        QCOMPARE(about->windowTitle(), QStringLiteral("About TARNOLUX"));
        QCOMPARE(about->lblTitle->text(), QStringLiteral("TARNOLUX"));
        QCOMPARE(about->lblVersion->text(), QStringLiteral("This is Version 2.3"));
        QCOMPARE(about->size(), QSize(5730 / 15, 3555 / 15));
        for (QLabel* label :
             {about->lblDescription, about->Label1, about->Label2, about->Label3, about->lblDisclaimer})
            QVERIFY2(!label->text().isEmpty(), qPrintable(label->objectName()));
        QVERIFY(about->lblDescription->text().contains(QStringLiteral("TARNOLUX")));
        QCOMPARE(about->picIcon->pixmap().size(), QSize(32, 32));
        delete about;
    }

    void versionText_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<QString>("text");
        QTest::newRow("2.3, not 2.03") << 2 << 3 << "This is Version 2.3";
        QTest::newRow("two-digit minor") << 2 << 10 << "This is Version 2.10";
        QTest::newRow("zero minor") << 10 << 0 << "This is Version 10.0";
    }
    void versionText()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(QString, text);
        QCOMPARE(frmAbout::versionText(major, minor), text);
    }

    void design_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("icon") << "picIcon" << QRect(120, 240, 540, 540);
        QTest::newRow("title") << "lblTitle" << QRect(960, 240, 4125, 360);
        QTest::newRow("version") << "lblVersion" << QRect(960, 600, 3885, 225);
        QTest::newRow("description") << "lblDescription" << QRect(960, 1080, 4365, 330);
        QTest::newRow("name") << "Label1" << QRect(960, 1440, 3615, 375);
        QTest::newRow("street") << "Label2" << QRect(960, 1680, 3015, 375);
        QTest::newRow("town") << "Label3" << QRect(960, 1920, 2175, 375);
        QTest::newRow("disclaimer") << "lblDisclaimer" << QRect(255, 2625, 3750, 825);
        QTest::newRow("OK") << "cmdOK" << QRect(4245, 2625, 1260, 345);
    }
    void design()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        frmAbout about;
        auto* widget = about.findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), QRect(Twips::toPixels(twips.x()), Twips::toPixels(twips.y()),
                                           Twips::toPixels(twips.width()), Twips::toPixels(twips.height())));
    }

    void etchedSeparator()
    {
        frmAbout about;
        QCOMPARE(about.findChildren<QFrame*>(QStringLiteral("Line1")).size(), 2);
        const QImage shot = about.grab().toImage();
        const int x = Twips::toPixels(3000);
        QCOMPARE(QColor(shot.pixel(x, Twips::toPixels(2445))), QColor(0x80, 0x80, 0x80));
        QCOMPARE(QColor(shot.pixel(x, Twips::toPixels(2460))), QColor(Qt::white));
        QCOMPARE(QColor(shot.pixel(x, Twips::toPixels(2460) + 1)), QColor(Qt::white));
    }

    void okUnloads()
    {
        QPointer<frmAbout> about = new frmAbout;
        about->show();
        about->cmdOK->click();
        QTRY_VERIFY(about.isNull());
    }

    void pictures_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("16") << 16;
        QTest::newRow("32") << 32;
        QTest::newRow("48") << 48;
        QTest::newRow("256") << 256;
    }
    void pictures()
    {
        QFETCH(int, size);
        const QImage icon = AppIcon::render(size);
        QCOMPARE(icon.size(), QSize(size, size));
        // The rounded body fills the square but its corners.
        QVERIFY(coverage(icon) > 0.85);
        QVERIFY(qAlpha(icon.pixel(0, 0)) < 32);
        // The same drawing at every size: scaled down to 32 it matches the 32 pixel icon closely.
        if (size < 32)
            return;
        const QImage scaled = icon.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  .convertToFormat(QImage::Format_ARGB32);
        const QImage base = AppIcon::render(32).convertToFormat(QImage::Format_ARGB32);
        double difference = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QRgb a = scaled.pixel(x, y);
                const QRgb b = base.pixel(x, y);
                difference +=
                    qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
            }
        QVERIFY2(difference / (32 * 32 * 3) < 12, qPrintable(QString::number(difference / (32 * 32 * 3))));
    }

    void mainWindowDecoration()
    {
        QWidget window;
        QPushButton button(&window);
        AppIcon::decorateMainWindow(&window, &button);
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(button.iconSize(), QSize(48, 32));
        const QPixmap picture = AppIcon::buttonPicture();
        QCOMPARE(picture.size(), QSize(48, 32));
        QVERIFY(coverage(picture.toImage()) > 0.4);
    }

    void command2OpensWithTheTopmostSteps_data()
    {
        QTest::addColumn<bool>("onTop");
        QTest::newRow("on top") << true;
        QTest::newRow("normal") << false;
    }
    void command2OpensWithTheTopmostSteps()
    {
        QFETCH(bool, onTop);
        MainWindowFixture f;
        MainWindowFixture::store()->setValue(QStringLiteral("options/onTop"),
                                             onTop ? QStringLiteral("1") : QStringLiteral("0"));
        FormMain& w = f.start();
        w.TimerDisplay->stop();
        bool opened = false;
        bool topmostWhileShown = true;
        QTimer::singleShot(0, this, [&] {
            auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
            QVERIFY(about);
            opened = about->parentWidget() == &w && about->isVisible();
            topmostWhileShown = WindowLayer::isTopmost(&w);
            about->cmdOK->click();
        });
        w.Command2_Click();
        QVERIFY(opened);
        QVERIFY(!topmostWhileShown);
        QCOMPARE(WindowLayer::isTopmost(&w), onTop);
        QVERIFY(!w.findChild<frmAbout*>());
    }
};

QTEST_MAIN(TestFrmAbout)
#include "test_frmabout.moc"

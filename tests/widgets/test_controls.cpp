// Every window's controls as an operator uses them: clicks, captions, Tab, Enter and Space.
#include "support/appfixture.h"

#include "analysiswindow/analysiswindow.h"
#include "analysiswindow/figuretable.h"
#include "dialogs/formoptions.h"
#include "dialogs/frmabout.h"
#include "widgets/controls.h"
#include "widgets/panelcache.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyle>

namespace {
// The caption's width and lines against its rectangle: empty when it fits, else what is cut.
QString cut(QWidget* w)
{
    const QFontMetrics m = w->fontMetrics();
    const auto wrapped = [&](const QRect& room, const QString& text) {
        const QStringList words = text.split(QLatin1Char(' '));
        return m.boundingRect(room, Qt::TextWordWrap, text).height() > room.height() ||
               std::any_of(words.cbegin(), words.cend(),
                           [&](const QString& word) { return m.horizontalAdvance(word) > room.width(); });
    };
    const auto mark = [w](QStyle::PixelMetric indicator, QStyle::PixelMetric spacing) {
        return w->style()->pixelMetric(indicator, nullptr, w) + w->style()->pixelMetric(spacing, nullptr, w);
    };
    bool isCut = false;
    QString text;
    if (auto* button = qobject_cast<CommandButton*>(w))
        isCut = wrapped(button->captionRect(), text = button->text());
    else if (auto* label = qobject_cast<QLabel*>(w))
        isCut = label->wordWrap() ? wrapped(label->contentsRect(), text = label->text())
                                  : m.horizontalAdvance(text = label->text()) > label->contentsRect().width();
    else if (auto* option = qobject_cast<QRadioButton*>(w))
        isCut = m.horizontalAdvance(text = option->text()) >
                w->width() - mark(QStyle::PM_ExclusiveIndicatorWidth, QStyle::PM_RadioButtonLabelSpacing);
    else if (auto* box = qobject_cast<QCheckBox*>(w))
        isCut = m.horizontalAdvance(text = box->text()) >
                w->width() - mark(QStyle::PM_IndicatorWidth, QStyle::PM_CheckBoxLabelSpacing);
    else if (auto* frame = qobject_cast<QGroupBox*>(w))
        isCut = m.horizontalAdvance(text = frame->title()) > w->width();
    else if (auto* strip = qobject_cast<TextStrip*>(w))
        isCut = m.horizontalAdvance(text = strip->text()) > w->width();
    else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        const int room =
            w->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, w).width();
        for (int i = 0; i < combo->count() && !isCut; ++i)
            isCut = m.horizontalAdvance(text = combo->itemText(i)) > room;
    } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
        const int margins = 2 * w->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, w);
        for (int i = 0; i < header->count() && !isCut; ++i)
            isCut =
                m.horizontalAdvance(text = header->model()->headerData(i, header->orientation()).toString()) +
                    margins >
                header->sectionSize(i);
    }
    return isCut ? w->objectName() + QLatin1String(": ") + text : QString();
}
} // namespace

class TestControls : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> m_f;

    QList<QWidget*> windows()
    {
        auto* about = new frmAbout(m_f->window.get());
        about->show();
        m_f->window->options().show();
        m_f->window->connection().show();
        return {m_f->window.get(), &m_f->window->connection(), &m_f->window->options(), about};
    }

private slots:
    void init()
    {
        m_f = std::make_unique<AppFixture>();
        m_f->start();
        m_f->laidOut();
    }
    void cleanup() { m_f.reset(); }

    void clickAnywhereInTheRectangle()
    {
        for (QWidget* window : windows()) {
            for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
                const bool radio = qobject_cast<QRadioButton*>(button);
                if (!button->isVisible() || !button->isEnabled() || qobject_cast<QPushButton*>(button) ||
                    (radio && button->isChecked()))
                    continue;
                const bool before = button->isChecked();
                // The far right end of the rectangle, past the caption.
                QTest::mouseClick(button, Qt::LeftButton, {},
                                  QPoint(button->width() - 2, button->height() / 2));
                QVERIFY2(button->isChecked() != before, qPrintable(button->objectName()));
            }
        }
    }

    void noCaptionIsCut()
    {
        for (const bool tobar : {false, true, false}) { // both layouts, with the readout button shown
            m_f->state->options.modeTobar = tobar;
            m_f->window->displayTick();
            // The readout button names the instrument of the mode, at every layout change.
            QPushButton* readout = control<QPushButton>(*m_f->window, "CommandLoadFromOrv");
            QVERIFY(readout->text().contains(QLatin1String(tobar ? "TOBAR" : "ORVELAN")));
            readout->setVisible(true);
            QStringList cuts;
            const auto look = [&cuts](QWidget* window) {
                for (QWidget* w : window->findChildren<QWidget*>())
                    if (w->isVisible() && !cut(w).isEmpty())
                        cuts << cut(w);
            };
            for (QWidget* window : windows())
                look(window);
            for (int page = 0; page < 3; ++page) { // the analysis window at the size it opens with
                m_f->window->analysis().showPage(page);
                QCoreApplication::processEvents(); // the header's sections are laid out a turn later
                look(&m_f->window->analysis());
            }
            QVERIFY2(cuts.isEmpty(), qPrintable(cuts.join(QLatin1String(", "))));
        }
    }

    void tabLeavesFilteredBoxesAndFollowsTheLayout()
    {
        FormMain& w = *m_f->window;
        FormOptions& options = w.options();
        control<QCheckBox>(options, "CheckBackground")->setChecked(true);
        options.show();
        for (QLineEdit* box :
             {control<QLineEdit>(w, "TextTimer"), control<QLineEdit>(options, "TextSeconds")}) {
            box->window()->activateWindow();
            box->setFocus();
            QTRY_VERIFY(box->hasFocus());
            const QString before = box->text();
            QTest::keyClick(box, Qt::Key_Tab);
            QVERIFY2(!box->hasFocus(), qPrintable(box->objectName()));
            QCOMPARE(box->text(), before);
        }
        const auto next = [](QWidget* w) {
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
            return w;
        };
        FormCom& form = m_f->window->connection();
        const QStringList order = {"TextPortNum",  "TextStatus", "OptionCompatible", "OptionText",
                                   "CommandClose", "optionHR",   "ComboDevice",      "CheckReconnect"};
        for (qsizetype i = 0; i + 1 < order.size(); ++i)
            QCOMPARE(next(control<QWidget>(form, qPrintable(order[i])))->objectName(), order[i + 1]);
        QCOMPARE(next(control<QWidget>(w, "CommandOpen")), control<QWidget>(w, "CommandSave"));
        QCOMPARE(next(control<QWidget>(w, "Command1")), control<QWidget>(w, "Command2"));
        QCOMPARE(next(control<QWidget>(w, "TextX")), control<QWidget>(w, "OptionArcsec"));
    }

    // A box whose panel comes from the cache looks as the style draws it, in each state it can take.
    void cachedPanelLooksTheSame()
    {
        QLineEdit plain, cached;
        PanelCache::applyTo({&cached});
        for (const bool on : {true, false}) {
            for (QLineEdit* box : {&plain, &cached}) {
                box->resize(120 + on, 30);
                box->setText(QStringLiteral("-12.345"));
                box->setReadOnly(on);
                box->setEnabled(on);
            }
            QCOMPARE(cached.grab().toImage(), plain.grab().toImage());
        }
    }

    void enterAndSpacePressTheFocusedButton()
    {
        m_f->window->activateWindow();
        QPushButton* store = control<QPushButton>(*m_f->window, "CommandVal2Table");
        QSignalSpy clicked(store, &QAbstractButton::clicked);
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            const qsizetype before = clicked.count();
            store->setFocus();
            QTest::keyClick(store, key);
            QTRY_COMPARE(clicked.count(), before + 1);
        }
        FormCom& form = m_f->window->connection();
        form.show();
        control<QPushButton>(form, "CommandClose")->setFocus();
        QTest::keyClick(control<QPushButton>(form, "CommandClose"), Qt::Key_Return);
        QTRY_VERIFY(!form.isVisible());
    }
};

QTEST_MAIN(TestControls)
#include "test_controls.moc"

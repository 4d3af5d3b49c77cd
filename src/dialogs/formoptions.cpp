#include "dialogs/formoptions.h"

#include "link/linkreceiver.h"
#include "widgets/controls.h"
#include "widgets/windowfont.h"
#include "widgets/messagebox.h"
#include "widgets/twips.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "state/numbers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace SettingValues;

namespace {

constexpr double ClientWidth = 4575;
constexpr double ClientHeight = 5010;
constexpr double CompactHeight = 2800;

qint16 stateOf(const QCheckBox* box)
{
    return box->isChecked() ? 1 : 0;
}

} // namespace

FormOptions::FormOptions(AppState& state, LinkReceiver& receiver, OptionsHost* host)
    : QDialog(host ? host->hostWindow() : nullptr), m_state(state), m_receiver(receiver), m_host(host)
{
    setObjectName(QStringLiteral("FormOptions"));
    setWindowTitle(QStringLiteral("TARNOLUX options"));
    // Closing unloads: the next opening constructs and loads it afresh.
    setAttribute(Qt::WA_DeleteOnClose);
    const QFont font = windowFont();
    setFont(font);
    setFixedSize(Twips::toPixels(ClientWidth), Twips::toPixels(ClientHeight));

    createControls();
    connectHandlers();
    Controls::orderTabs(this);
    Form_Load();
}

FormOptions::~FormOptions() = default;

void FormOptions::createControls()
{
    using Controls::make;
    FrameDisplay =
        make<QGroupBox>(this, "FrameDisplay", QStringLiteral("Display options"), {120, 120, 2175, 1575});
    CTobar = make<CheckBox>(FrameDisplay, "CTobar", QStringLiteral("TOBAR"), {120, 1080, 1695, 255});
    // These two lie over the frame's area but belong to the dialog.
    CheckOnTop = make<CheckBox>(this, "CheckOnTop", QStringLiteral("Always on top"), {240, 480, 1575, 255});
    CheckShowTable =
        make<CheckBox>(this, "CheckShowTable", QStringLiteral("Show table"), {240, 840, 1455, 255});

    FrameTransfer =
        make<QGroupBox>(this, "FrameTransfer", QStringLiteral("Transfer options"), {2520, 120, 1935, 1815});
    CheckComma = make<CheckBox>(this, "CheckComma", QStringLiteral("Comma seperator"), {2640, 480, 1695, 255});
    LabelTransfer = make<QLabel>(FrameTransfer, "LabelTransfer",
                                 QStringLiteral("Transfer data from Vemtor with:"), {120, 720, 1575, 375});
    LabelTransfer->setWordWrap(true);
    LabelTransfer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    CheckExitKey =
        make<CheckBox>(FrameTransfer, "CheckExitKey", QStringLiteral("exit key"), {120, 1200, 1695, 255});
    CheckIR =
        make<CheckBox>(FrameTransfer, "CheckIR", QStringLiteral("remote control"), {120, 1440, 1695, 255});

    FrameBackground =
        make<QGroupBox>(this, "FrameBackground", QStringLiteral("Background actions"), {120, 2040, 4335, 2415});
    CheckBackground = make<CheckBox>(FrameBackground, "CheckBackground",
                                      QStringLiteral("Save current masurement values to background file"), {120, 360, 4095, 255});
    LabelPath =
        make<QLabel>(FrameBackground, "LabelPath", QStringLiteral("Path and file name"), {120, 720, 1575, 255});
    TextPath = make<QLineEdit>(FrameBackground, "TextPath", QString(), {120, 960, 4095, 285});
    LabelUpdate = make<QLabel>(FrameBackground, "LabelUpdate", QStringLiteral("Update values every"), {120, 1440, 1575, 255});
    TextSeconds = make<QLineEdit>(FrameBackground, "TextSeconds", QStringLiteral("10"), {1680, 1440, 735, 285});
    LabelSecond =
        make<QLabel>(FrameBackground, "LabelSecond", QStringLiteral("th measurement"), {2520, 1440, 1215, 255});
    CheckMean = make<CheckBox>(FrameBackground, "CheckMean",
                                QStringLiteral("Built mean values between updates"), {120, 1920, 3135, 255});

    CommandOK = make<CommandButton>(this, "CommandOK", QStringLiteral("OK"), {3240, 4560, 1215, 375});
}

void FormOptions::connectHandlers()
{
    const std::pair<QCheckBox*, void (FormOptions::*)()> boxes[] = {
        {CTobar, &FormOptions::CTobar_Click},
        {CheckOnTop, &FormOptions::CheckOnTop_Click},
        {CheckShowTable, &FormOptions::CheckShowTable_Click},
        {CheckComma, &FormOptions::CheckComma_Click},
        {CheckExitKey, &FormOptions::CheckExitKey_Click},
        {CheckIR, &FormOptions::CheckIR_Click},
        {CheckBackground, &FormOptions::CheckBackground_Click},
    };
    // A change of state, whether clicked or set by the load step, runs the handler.
    for (const auto& [box, handler] : boxes)
        connect(box, &QCheckBox::toggled, this, handler);
    connect(CommandOK, &QPushButton::clicked, this, &FormOptions::CommandOK_Click);
    TextSeconds->installEventFilter(this);
}

void FormOptions::Form_Load()
{
    const MainOptions& o = m_state.options;
    CTobar->setChecked(o.modeTobar);
    CheckOnTop->setChecked(o.onTop);
    CheckShowTable->setChecked(o.showTable);
    CheckComma->setChecked(o.useComma);
    CheckExitKey->setChecked(m_state.link.storeAtExitkey);
    CheckIR->setChecked(m_state.link.storeAtIR);
    TextPath->setText(o.updatePath);
    TextSeconds->setText(Numbers::shortestText(o.backgroundSeconds));
    CheckBackground->setChecked(o.useBackground);
    CheckMean->setChecked(o.useMean);
    placeDialog();
    updateBackgroundControls();
    updateTransferOptions();
}

void FormOptions::placeDialog()
{
    // The origin bound first, then the screen bound: a dialog larger than the screen may end up negative.
    double top = readNumber(SettingKeys::OptionsTop);
    double left = readNumber(SettingKeys::OptionsLeft);
    const QSizeF size(Twips::fromPixels(frameGeometry().width()), Twips::fromPixels(frameGeometry().height()));
    Controls::keepOnScreen(left, top, size, Controls::screenTwips(this), Controls::Clamp::KeepOnScreenFirst);
    move(Twips::toPixels(left), Twips::toPixels(top));
}

double FormOptions::dialogLeft() const
{
    return Twips::fromPixels(pos().x());
}
double FormOptions::dialogTop() const
{
    return Twips::fromPixels(pos().y());
}

void FormOptions::updateBackgroundControls()
{
    const bool enabled = CheckBackground->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{LabelPath, TextPath, LabelUpdate, LabelSecond,
                                                      TextSeconds, CheckMean})
        w->setEnabled(enabled);
}

void FormOptions::updateTransferOptions()
{
    const bool visible = m_state.link.portMode == LinkMode::Text;
    LabelTransfer->setVisible(visible);
    CheckExitKey->setVisible(visible);
    CheckIR->setVisible(visible);
}

void FormOptions::showEvent(QShowEvent* event)
{
    // The link mode may have changed since loading; show the transfer options for the mode now in use,
    // and enable the store triggers for the layout now shown (a dialog loaded afresh missed that change).
    if (!event->spontaneous()) {
        updateTransferOptions();
        const bool orvelanLayout = !m_state.options.oldModeTobar;
        CheckIR->setEnabled(orvelanLayout);
        CheckExitKey->setEnabled(orvelanLayout);
    }
    QDialog::showEvent(event);
}

void FormOptions::CTobar_Click()
{
    m_state.options.modeTobar = stateOf(CTobar) != 0;
}

void FormOptions::CheckOnTop_Click()
{
    // Takes effect when the dialog closes: the main window lifts itself while the dialog is shown.
}

void FormOptions::CheckShowTable_Click()
{
    MainOptions& o = m_state.options;
    o.showTable = stateOf(CheckShowTable) == 1;
    if (!m_host)
        return;
    // Unchecked, the main window's resize rule turns 2800 into the compact height of the current mode.
    m_host->setWindowHeight(o.showTable ? o.heightWithTable : CompactHeight);
}

void FormOptions::CheckComma_Click()
{
    m_state.options.useComma = stateOf(CheckComma) == 1;
}
void FormOptions::CheckExitKey_Click()
{
    m_state.link.storeAtExitkey = stateOf(CheckExitKey) == 1;
}
void FormOptions::CheckIR_Click()
{
    m_state.link.storeAtIR = stateOf(CheckIR) == 1;
}
void FormOptions::CheckBackground_Click()
{
    updateBackgroundControls();
}

void FormOptions::CommandOK_Click()
{
    close();
}

void FormOptions::TextSeconds_KeyPress(int& keyAscii)
{
    if ((keyAscii >= '0' && keyAscii <= '9') || keyAscii == 8)
        return;
    keyAscii = 0;
}

bool FormOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TextSeconds && event->type() == QEvent::KeyPress) {
        int code = Controls::typedCharacter(static_cast<QKeyEvent*>(event));
        if (code < 0)
            return false;
        TextSeconds_KeyPress(code);
        return code == 0;
    }
    return QDialog::eventFilter(watched, event);
}

bool FormOptions::backgroundFileWritable() const
{
    // Opening for writing creates the file or empties it, as each background record does.
    QFile file(m_state.options.updatePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.close();
    return true;
}

bool FormOptions::Form_QueryUnload(bool quiet)
{
    MainOptions& o = m_state.options;
    o.onTop = stateOf(CheckOnTop) == 1;
    writeNumber(SettingKeys::OptionsTop, dialogTop());
    writeNumber(SettingKeys::OptionsLeft, dialogLeft());
    writeInt(SettingKeys::OnTop, stateOf(CheckOnTop));
    writeInt(SettingKeys::ShowTable, stateOf(CheckShowTable));
    writeInt(SettingKeys::UseComma, stateOf(CheckComma));
    writeInt(SettingKeys::StoreAtExitKey, stateOf(CheckExitKey));
    writeInt(SettingKeys::StoreAtIR, stateOf(CheckIR));
    o.updatePath = TextPath->text();
    writeText(SettingKeys::UpdatePath, o.updatePath);
    writeInt(SettingKeys::UseBackground, stateOf(CheckBackground));
    o.useBackground = CheckBackground->isChecked();
    writeInt(SettingKeys::UseMean, stateOf(CheckMean));
    o.useMean = CheckMean->isChecked();
    // Any number of digits may be typed; keep the count within what the background divisor can hold.
    const double seconds = qMin(Numbers::leadingNumber(TextSeconds->text()), MaxBackgroundSeconds);
    writeNumber(SettingKeys::BackgroundSeconds, seconds);
    o.backgroundSeconds = seconds;

    if (!o.useBackground)
        return true;
    if (!backgroundFileWritable()) {
        if (!quiet)
            MessageBox::show(this, QStringLiteral("Path for background file does not exist.\r\n"
                                                  "Use an existing path or uncheck the \"Hold current angles "
                                                  "...\" box."));
        return false;
    }
    m_receiver.setUpdateSignal(o.backgroundSeconds);
    return true;
}

void FormOptions::closeEvent(QCloseEvent* event)
{
    const bool ok = Form_QueryUnload(m_shuttingDown);
    if (!ok && !m_shuttingDown) {
        event->ignore();
        return;
    }
    // Accepted: the window closes and, being delete-on-close, unloads.
    event->accept();
}

void FormOptions::reject()
{
    close();
}

void FormOptions::closeForShutdown()
{
    m_shuttingDown = true;
    close();
}

#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// The about box: icon, title, version, ownership and disclaimer. Constructing it is loading it; closing it
// unloads it (it deletes itself).
class frmAbout : public QDialog {
    Q_OBJECT
public:
    static const QString AppTitle;
    static const int VersionMajor;
    static const int VersionMinor;

    // "This is Version " with both numbers as plain decimals (2.3, never 2.03).
    [[nodiscard]] static QString versionText(int major, int minor);

    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    void Form_Load();
    void cmdOK_Click();

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QPushButton* cmdOK = nullptr;
};

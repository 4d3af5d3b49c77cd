#pragma once

#include <QDialog>
#include <QString>

class QLabel;
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

private:
    void load();

    QLabel* m_titleLabel = nullptr;
    QLabel* m_versionLabel = nullptr;
};

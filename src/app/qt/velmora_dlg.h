#pragma once

#include <memory>

#include "app/qt/velmora_dialog.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTabBar;

namespace velmora {

class CComSettingDlg;
class CHistoryPage;
class CVersionInfoDlg;
class CFunctionMainDlg;

// The function page: choose what to do with the connected controller.
class CFunctionMainDlg final : public QWidget {
    Q_OBJECT
public:
    explicit CFunctionMainDlg(QWidget* parent = nullptr);

    // Shows or hides the three work buttons by the function enables.
    void ApplyFunctionEnables();
    QPushButton* actuatorButton() const { return actuator_; }
    QPushButton* fileSelectButton() const { return fileSelect_; }
    QPushButton* backupButton() const { return backup_; }
    QPushButton* compareButton() const { return compare_; }

private:
    QPushButton* actuator_;
    QPushButton* fileSelect_;
    QPushButton* backup_;
    QPushButton* compare_;
};

// The main window: function, communication settings, version and history pages under a tab
// bar.
// Opens the serial port from the settings when it starts and writes the settings file back
// when its window goes away.
class CVelmoraDlg final : public VelmoraDialog {
    Q_OBJECT
public:
    explicit CVelmoraDlg(QWidget* parent = nullptr);
    ~CVelmoraDlg() override;

    CFunctionMainDlg* functionPage() const { return functionPage_; }
    CComSettingDlg* settingsPage() const { return settingsPage_; }
    CVersionInfoDlg* versionPage() const { return versionPage_; }
    CHistoryPage* historyPage() const { return historyPage_; }
    QTabBar* tabBar() const { return tabs_; }
    // Shows the page of a tab as a changed selection does.
    void ShowPage(int index);

  signals:
    // The user closed the main window (the pass of the start-up routine ends).
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool AllowTabChange();
    void ShowUncheckedPort();

    QTabBar* tabs_;
    // Owned here rather than by Qt's child list, so the pages go before the settings are saved.
    std::unique_ptr<QStackedWidget> stack_;
    CFunctionMainDlg* functionPage_;
    CComSettingDlg* settingsPage_;
    CVersionInfoDlg* versionPage_;
    CHistoryPage* historyPage_;
    int shownTab_ = 0;
};

}  // namespace velmora

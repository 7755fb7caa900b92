#include "data/qt/work_dialog_support.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

#include "app/qt/velmora_app.h"
#include "app/qt/velmora_dlg.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "data/actuator_selection.h"
#include "sysfiles/app_state.h"
#include "version/qt/version_info_dlg.h"

namespace velmora {

QString ChooseBackupFile(QWidget* parent, const QString& current, bool forSaving) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(BackupFileFilter());
    dialog.setDefaultSuffix(QStringLiteral("bkp"));
    if (current.isEmpty()) {
        dialog.selectFile(QStringLiteral("BackupFile.bkp"));
    } else {
        dialog.setDirectory(QFileInfo(current).absolutePath());
        dialog.selectFile(QFileInfo(current).fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

QString BackupFileFilter() {
    return QStringLiteral("Backup File (*.bkp)");
}

void ShowReferenceVersionOnMainWindow(const std::string& text) {
    CVelmoraApp* app = CVelmoraApp::instance();
    if (app == nullptr || app->mainDialog() == nullptr) {
        return;
    }
    if (CVersionInfoDlg* page = app->mainDialog()->versionPage()) {
        page->setReferenceVersionText(FromStd(text));
    }
}

void CompleteWriteContentsItems(QComboBox* combo) {
    static const char16_t* const kDefaults[kWriteContentsCount] = {
        u"パラメータ＋ステップデータ",
        u"パラメータのみ",
        u"ステップデータのみ",
    };
    for (int index = combo->count(); index < kWriteContentsCount; ++index) {
        combo->addItem(QString::fromUtf16(kDefaults[index]));
    }
}

RtuMaster* MainLink() {
    CVelmoraApp* app = CVelmoraApp::instance();
    return app != nullptr ? &app->session().master : nullptr;
}

std::uint8_t ActiveStationAddress() {
    return static_cast<std::uint8_t>(App().commSettings.activeStationId & 0xFF);
}

QLabel* NewWrappingLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QLabel* NewCautionTitle(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

void WorkDialog::ReturnToMainWindow() {
    if (CVelmoraApp* app = CVelmoraApp::instance()) {
        app->ReturnToMainWindow(this);
    } else {
        hide();
    }
}

void WorkDialog::OpenCommunicationSettings() {
    if (CVelmoraApp* app = CVelmoraApp::instance()) {
        app->OpenSettingsFrameFromWorkDialog(this);
    }
}

void WorkDialog::closeEvent(QCloseEvent* event) {
    event->accept();
    if (CVelmoraApp* app = CVelmoraApp::instance()) {
        app->CloseFromWorkDialog();
    }
}

std::string TableRoot() {
    std::string root = App().moduleFolder;
    if (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root;
}

void ShowChoices(QComboBox* combo, const ChoiceList& choices) {
    const QSignalBlocker blocker(combo);
    bool same = combo->count() == static_cast<int>(choices.entries.size());
    for (std::size_t i = 0; same && i < choices.entries.size(); ++i) {
        same = combo->itemText(static_cast<int>(i)) == FromStd(choices.entries[i]);
    }
    if (!same) {
        combo->clear();
        for (const std::string& entry : choices.entries) {
            combo->addItem(FromStd(entry));
        }
    }
    combo->setCurrentIndex(choices.current);
}

}  // namespace velmora

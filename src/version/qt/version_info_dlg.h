#pragma once

#include <QWidget>

#include <functional>

#include "version/version_page_model.h"

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace velmora {

class QtUi;

// The version page: program, reference data and controller versions, and the data update.
class CVersionInfoDlg final : public QWidget {
    Q_OBJECT
public:
    CVersionInfoDlg(QtUi& ui, QWidget* parent = nullptr);

    void setReferenceVersionText(const QString& text);
    QString referenceVersionText() const;
    QString controllerVersionText() const;
    QPushButton* controllerVersionButton() const { return readVersion_; }
    QPushButton* updateButton() const { return update_; }

    // Where the data update takes its folder from; a folder dialog unless replaced (tests).
    using FolderChooser = std::function<QString(QWidget* parent, const QString& instruction)>;
    static void setFolderChooser(FolderChooser chooser);

    // Runs the data update from a chosen folder, as the update button does after its dialog.
    void RunUpdateFrom(const QString& folder);

private:
    void ReadControllerVersion();
    void OnUpdate();

    QtUi& ui_;
    VersionPageModel model_;
    QGroupBox* softGroup_;
    QLineEdit* softVersion_;
    QGroupBox* referenceGroup_;
    QLineEdit* referenceVersion_;
    QGroupBox* controllerGroup_;
    QLineEdit* controllerVersion_;
    QPushButton* readVersion_;
    QGroupBox* updateGroup_;
    QPushButton* update_;
};

}  // namespace velmora

#pragma once

#include <QDialog>
#include <QIcon>

class QApplication;

namespace velmora {

// Every window of the program ignores Enter and Escape: a technician's stray key press must
// never start, confirm or cancel anything. The swallower sits in front of every widget of a
// marked window, so a focused button or list does not see the keys either.
void InstallKeySwallower(QApplication& app);
void MarkSwallowsEnterAndEscape(QWidget* window);
bool SwallowsEnterAndEscape(const QWidget* window);

// Moves a window so that it is centred on the available area of its screen.
void CenterOnWorkArea(QWidget* window);

// The program icon, drawn rather than loaded so the program carries no image files.
QIcon ProgramIcon();
// The small warning sign and the nameplate picture of the version-error dialog.
QPixmap WarningSignPixmap(int size);
QPixmap NameplatePixmap(int width, int height);

// Base of the program's dialogs: swallows Enter and Escape, closes only through its buttons
// or its close box.
class VelmoraDialog : public QDialog {
    Q_OBJECT
public:
    explicit VelmoraDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
};

}  // namespace velmora

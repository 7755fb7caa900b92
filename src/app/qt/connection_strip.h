#pragma once

#include <QFrame>

class QLabel;

namespace velmora {

// One line naming the controller the program talks to: port, station, bit rate, its SV and
// when it was checked, or plainly that none is checked. Shown on the main window and on every
// work dialog so that nobody writes to a controller they did not mean.
class CConnectionStrip final : public QFrame {
    Q_OBJECT
  public:
    explicit CConnectionStrip(QWidget* parent = nullptr);

    // Reads the program's line and state again.
    void Refresh();
    // Every strip of every window (after a check, when the settings window closes).
    static void RefreshAll();

    QString text() const;
    // The built-in virtual controller is in use.
    bool training() const { return training_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLabel* label_;
    bool training_ = false;
};

}  // namespace velmora

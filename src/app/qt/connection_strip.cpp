#include "app/qt/connection_strip.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>

#include "app/qt/velmora_app.h"
#include "comsetup/connection_strip_model.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "sim/pty_controller.h"

namespace velmora {

namespace {

// Amber for training, so a screen seen from a distance tells it from a real controller.
constexpr const char* kTrainingStyle =
    "QFrame#connectionStrip { background: #ffbf00; color: #000000; border: 1px solid #b38600; }";
constexpr const char* kIdentifiedStyle =
    "QFrame#connectionStrip { border: 1px solid palette(mid); }";
constexpr const char* kUncheckedStyle =
    "QFrame#connectionStrip { border: 1px solid palette(mid); } QLabel { font-weight: bold; }";

}  // namespace

CConnectionStrip::CConnectionStrip(QWidget* parent) : QFrame(parent), label_(new QLabel(this)) {
    setObjectName(QStringLiteral("connectionStrip"));
    label_->setObjectName(QStringLiteral("connectionText"));
    label_->setWordWrap(true);
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(label_, 1);
    Refresh();
}

void CConnectionStrip::Refresh() {
    std::string port;
    int bitRate = 0;
    if (CVelmoraApp* app = CVelmoraApp::instance()) {
        RtuMaster& master = app->session().master;
        port = master.portName();
        bitRate = static_cast<int>(master.baudRate());
    }
    const sim::PtyController* simulator = RunningVirtualController();
    const ConnectionStripView view = FormatConnectionStrip(
        CurrentConnectionFacts(port, bitRate, simulator ? simulator->slavePath() : std::string()));
    training_ = view.training;
    label_->setText(QString::fromStdString(view.text));
    setProperty("training", training_);
    setStyleSheet(QString::fromLatin1(view.training     ? kTrainingStyle
                                      : view.identified ? kIdentifiedStyle
                                                        : kUncheckedStyle));
}

void CConnectionStrip::RefreshAll() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        for (CConnectionStrip* strip : window->findChildren<CConnectionStrip*>()) {
            strip->Refresh();
        }
    }
}

QString CConnectionStrip::text() const {
    return label_->text();
}

void CConnectionStrip::showEvent(QShowEvent* event) {
    Refresh();
    QFrame::showEvent(event);
}

}  // namespace velmora

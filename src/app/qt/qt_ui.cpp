#include "app/qt/qt_ui.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace velmora {

namespace {

// Texts from the language file end lines with CR LF; Qt wants LF.
QString ToDisplay(const std::string& text) {
    QString shown = QString::fromUtf8(text.c_str(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

MessageAnswer ShowMessageBox(QWidget* owner, const std::string& text, const std::string& title,
                             MessageIcon icon, MessageButtons buttons, const std::string& details) {
    QMessageBox box(owner);
    box.setText(ToDisplay(text));
    if (!details.empty()) {
        box.setDetailedText(ToDisplay(details));
    }
    box.setWindowTitle(title.empty() ? QApplication::applicationDisplayName() : ToDisplay(title));
    switch (icon) {
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    switch (buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancelDefaultCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return MessageAnswer::Cancel;
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        default:
            break;
    }
    // A closed box counts as the safe answer.
    if ((buttons == MessageButtons::OkCancel || buttons == MessageButtons::OkCancelDefaultCancel) &&
        box.clickedButton() == nullptr) {
        return MessageAnswer::Cancel;
    }
    return MessageAnswer::Ok;
}

MessagePresenter& CurrentPresenter() {
    static MessagePresenter presenter = ShowMessageBox;
    return presenter;
}

}  // namespace

QtUi::QtUi(QWidget* owner) : owner_(owner) {
    // Belongs to the GUI thread whatever thread creates it, so queued calls land there.
    if (QCoreApplication::instance() != nullptr) {
        moveToThread(QCoreApplication::instance()->thread());
    }
}

void QtUi::setPresenter(MessagePresenter presenter) {
    CurrentPresenter() = presenter ? std::move(presenter) : MessagePresenter(ShowMessageBox);
}

MessageAnswer QtUi::Present(QWidget* owner, const std::string& text, const std::string& title,
                            MessageIcon icon, MessageButtons buttons, const std::string& details) {
    return CurrentPresenter()(owner, text, title, icon, buttons, details);
}

MessageAnswer QtUi::showMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                MessageButtons buttons) {
    return showDetailedMessage(text, title, icon, buttons, {});
}

MessageAnswer QtUi::showDetailedMessage(const std::string& text, const std::string& title,
                                        MessageIcon icon, MessageButtons buttons,
                                        const std::string& details) {
    if (QThread::currentThread() == thread()) {
        return Present(owner_, text, title, icon, buttons, details);
    }
    MessageAnswer answer = MessageAnswer::Cancel;
    QMetaObject::invokeMethod(
        this, [&] { answer = Present(owner_, text, title, icon, buttons, details); },
        Qt::BlockingQueuedConnection);
    return answer;
}

void QtUi::setStatusText(const std::string& text) {
    emit statusTextChanged(ToDisplay(text));
}

void QtUi::setProgress(int percent) {
    emit progressChanged(percent);
}

}  // namespace velmora

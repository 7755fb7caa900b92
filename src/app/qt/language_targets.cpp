#include "app/qt/language_targets.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTextEdit>

namespace velmora {

QString DisplayText(const std::string& text) {
    QString shown = QString::fromUtf8(text.c_str(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void WidgetTextTarget::setText(const std::string& text) {
    QWidget* widget = widget_.data();
    if (widget == nullptr) {
        return;
    }
    const QString shown = DisplayText(text);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(shown);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QString escaped = shown;
        button->setText(escaped.replace(QLatin1Char('&'), QStringLiteral("&&")));
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(shown);
    } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        line->setText(shown);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
        plain->setPlainText(shown);
    } else if (auto* rich = qobject_cast<QTextEdit*>(widget)) {
        rich->setPlainText(shown);
    } else {
        widget->setWindowTitle(shown);
    }
}

void TabBarTarget::insertItem(int index, const std::string& text) {
    if (tabs_ != nullptr) {
        tabs_->insertTab(index, DisplayText(text));
    }
}

void ComboTarget::insertItem(int index, const std::string& text) {
    if (combo_ != nullptr) {
        combo_->insertItem(index, DisplayText(text));
    }
}

LanguageList& LanguageList::text(const char* key, QWidget* widget) {
    targets_.push_back(std::make_unique<WidgetTextTarget>(widget));
    entries_.push_back({key, LanguageTargetKind::WindowText, targets_.back().get(), 0});
    return *this;
}

LanguageList& LanguageList::tab(const char* key, QTabBar* tabs, int index) {
    targets_.push_back(std::make_unique<TabBarTarget>(tabs));
    entries_.push_back({key, LanguageTargetKind::TabItem, targets_.back().get(), index});
    return *this;
}

LanguageList& LanguageList::combo(const char* key, QComboBox* combo, int index) {
    targets_.push_back(std::make_unique<ComboTarget>(combo));
    entries_.push_back({key, LanguageTargetKind::ComboItem, targets_.back().get(), index});
    return *this;
}

void LanguageList::load(Ui& ui) const {
    std::vector<LanguageEntry> list = entries_;
    list.push_back({});  // the end entry
    LoadLanguageTexts(list, ui);
}

}  // namespace velmora

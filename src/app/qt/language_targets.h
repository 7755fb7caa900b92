#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "sysfiles/language.h"

#include <QComboBox>
#include <QTabBar>

namespace velmora {

// Language-file targets for Qt widgets: the window text of a dialog, label, button, group box
// or edit; an item inserted into a tab bar or a drop-down list.
class WidgetTextTarget final : public LanguageTarget {
public:
    explicit WidgetTextTarget(QWidget* widget) : widget_(widget) {}
    void setText(const std::string& text) override;
    void insertItem(int, const std::string&) override {}

private:
    QPointer<QWidget> widget_;
};

class TabBarTarget final : public LanguageTarget {
public:
    explicit TabBarTarget(QTabBar* tabs) : tabs_(tabs) {}
    void setText(const std::string&) override {}
    void insertItem(int index, const std::string& text) override;

private:
    QPointer<QTabBar> tabs_;
};

class ComboTarget final : public LanguageTarget {
public:
    explicit ComboTarget(QComboBox* combo) : combo_(combo) {}
    void setText(const std::string&) override {}
    void insertItem(int index, const std::string& text) override;

private:
    QPointer<QComboBox> combo_;
};

// Builds a load list and keeps its targets alive while it is loaded.
class LanguageList {
public:
    LanguageList& text(const char* key, QWidget* widget);
    LanguageList& tab(const char* key, QTabBar* tabs, int index);
    LanguageList& combo(const char* key, QComboBox* combo, int index);
    void load(Ui& ui) const;

private:
    std::vector<std::unique_ptr<LanguageTarget>> targets_;
    std::vector<LanguageEntry> entries_;
};

// Language texts end lines with CR LF; Qt widgets want LF.
QString DisplayText(const std::string& text);

}  // namespace velmora

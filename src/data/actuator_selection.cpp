#include "data/actuator_selection.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <utility>

#include "platform/folder_utils.h"
#include "sysfiles/language.h"

namespace velmora {
namespace {

using Field = std::string stADP_FORMAT::*;
using SortFunction = void (*)(std::vector<std::string>&);

// A list control's exact-string search, which ignores letter case: the first spelling met is
// the one listed.
bool ContainsIgnoringCase(const std::vector<std::string>& values, const std::string& value) {
    return std::any_of(values.begin(), values.end(), [&](const std::string& entry) {
        return ::strcasecmp(entry.c_str(), value.c_str()) == 0;
    });
}

void AddIfAbsent(std::vector<std::string>& values, const std::string& value) {
    if (!ContainsIgnoringCase(values, value)) {
        values.push_back(value);
    }
}

void Fill(ChoiceList& list, std::vector<std::string> values, bool withAnyEntry) {
    list.clear();
    if (withAnyEntry) {
        list.entries.push_back(MessageText(kListDlgActuatorUnknown));
        list.hasAnyEntry = true;
    }
    for (auto& value : values) {
        list.entries.push_back(std::move(value));
    }
    list.select(0);
}

// One stage of the narrowing: the records of source that pass the previous list's choice go to
// target, and their values of the shown field, sorted, become the next list.
void FillStage(const std::vector<stADP_FORMAT>& source, const ChoiceList& previous, Field filter,
               std::vector<stADP_FORMAT>& target, Field shown, ChoiceList& next,
               SortFunction sort) {
    next.clear();
    target.clear();
    const std::string chosen = previous.currentText();
    const bool anyPasses = previous.current == 0 && previous.hasAnyEntry;
    std::vector<std::string> values;
    for (const stADP_FORMAT& record : source) {
        if (record.*filter == chosen || anyPasses) {
            target.push_back(record);
            AddIfAbsent(values, record.*shown);
        }
    }
    sort(values);
    Fill(next, std::move(values), true);
}

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// Pieces between the stars, split the way list columns are split at their bars.
std::vector<std::string> PatternPieces(const std::string& pattern) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < pattern.size()) {
        const std::size_t star = pattern.find('*', start);
        if (star == std::string::npos) {
            pieces.push_back(pattern.substr(start));
            break;
        }
        pieces.push_back(pattern.substr(start, star - start));
        start = star + 1;
    }
    return pieces;
}

}  // namespace

std::string ChoiceList::currentText() const {
    if (current < 0 || static_cast<std::size_t>(current) >= entries.size()) {
        return {};
    }
    return entries[static_cast<std::size_t>(current)];
}

void ChoiceList::select(int index) {
    current = index >= 0 && static_cast<std::size_t>(index) < entries.size() ? index : -1;
}

void ChoiceList::clear() {
    entries.clear();
    current = -1;
    hasAnyEntry = false;
}

bool MatchPartNumber(const std::string& partNo, const std::string& pattern) {
    const std::string upperPartNo = UpperAscii(partNo);
    for (const std::string& piece : PatternPieces(pattern)) {
        if (upperPartNo.find(UpperAscii(piece)) == std::string::npos) {
            return false;
        }
    }
    return true;
}

ActuatorSelectionModel::ActuatorSelectionModel() {
    writeContents_.entries.assign(kWriteContentsCount, std::string());
    writeContents_.select(0);
}

void ActuatorSelectionModel::Initialise(Ui& ui, const std::string& root) {
    SetNarrowDownMode();
    writeContents_.select(0);
    LoadTable(ui, root);
}

void ActuatorSelectionModel::LoadTable(Ui& ui, const std::string& root) {
    std::vector<std::string> models;
    LoadActuatorTable(ui, root, m_listAll, models);
    model_.clear();
    model_.entries = std::move(models);
    model_.select(0);
    FillControllers();
}

void ActuatorSelectionModel::selectModel(int index) {
    model_.select(index);
    FillControllers();
}

void ActuatorSelectionModel::selectController(int index) {
    controller_.select(index);
    FillMotors();
}

void ActuatorSelectionModel::selectMotor(int index) {
    motor_.select(index);
    FillLeads();
}

void ActuatorSelectionModel::selectLead(int index) {
    lead_.select(index);
    FillStrokes();
}

void ActuatorSelectionModel::selectStroke(int index) {
    stroke_.select(index);
    ResetResults();
}

void ActuatorSelectionModel::selectNarrowDownResult(int index) {
    narrowDownResults_.select(index);
    FillConditions();
}

void ActuatorSelectionModel::selectPartNoResult(int index) {
    partNoResults_.select(index);
    FillConditionsPartNo();
}

void ActuatorSelectionModel::selectSv(int index) {
    sv_.select(index);
    MatchConditions();
}

void ActuatorSelectionModel::selectIo(int index) {
    io_.select(index);
    MatchConditions();
}

void ActuatorSelectionModel::selectWriteContents(int index) {
    writeContents_.select(index);
    MatchConditions();
}

void ActuatorSelectionModel::setWriteContentsText(int index, const std::string& text) {
    if (index >= 0 && index < kWriteContentsCount) {
        writeContents_.entries[static_cast<std::size_t>(index)] = text;
    }
}

void ActuatorSelectionModel::FillControllers() {
    FillStage(m_listAll, model_, &stADP_FORMAT::strModel, m_listModel, &stADP_FORMAT::strController,
              controller_, SortTextList);
    FillMotors();
}

void ActuatorSelectionModel::FillMotors() {
    FillStage(m_listModel, controller_, &stADP_FORMAT::strController, m_listController,
              &stADP_FORMAT::strMotorDir, motor_, SortTextList);
    FillLeads();
}

void ActuatorSelectionModel::FillLeads() {
    FillStage(m_listController, motor_, &stADP_FORMAT::strMotorDir, m_listMotor,
              &stADP_FORMAT::strLead, lead_, SortTextList);
    FillStrokes();
}

void ActuatorSelectionModel::FillStrokes() {
    FillStage(m_listMotor, lead_, &stADP_FORMAT::strLead, m_listLead, &stADP_FORMAT::strStroke,
              stroke_, SortNumberList);
    ResetResults();
}

void ActuatorSelectionModel::ResetResults() {
    // The part-number results stay: only a part-number search replaces them.
    narrowDownResults_.clear();
    sv_.clear();
    io_.clear();
    m_listPartNo.clear();
    m_listSelected.clear();
    ShowReferenceVersion(MessageText(kDlgTopTab3TxtNodatafile));
    startEnabled_ = false;
}

void ActuatorSelectionModel::SearchNarrowDown() {
    narrowDownResults_.clear();
    m_listFound.clear();
    const std::string stroke = stroke_.currentText();
    std::vector<std::string> partNumbers;
    for (const stADP_FORMAT& record : m_listLead) {
        if (record.strStroke == stroke || stroke_.current == 0) {
            m_listFound.push_back(record);
            AddIfAbsent(partNumbers, record.strPartNo);
        }
    }
    SortTextList(partNumbers);
    Fill(narrowDownResults_, std::move(partNumbers), false);
    FillConditions();
}

void ActuatorSelectionModel::FillConditions() {
    FillConditionLists(narrowDownResults_, true);
}

void ActuatorSelectionModel::FillConditionsPartNo() {
    FillConditionLists(partNoResults_, false);
}

void ActuatorSelectionModel::FillConditionLists(const ChoiceList& results, bool sorted) {
    m_listPartNo.clear();
    m_listSelected.clear();
    sv_.clear();
    io_.clear();
    std::vector<std::string> svNumbers;
    std::vector<std::string> ioSpecs;
    if (!m_listFound.empty()) {
        const std::string partNo = results.currentText();
        for (const stADP_FORMAT& record : m_listFound) {
            if (record.strPartNo == partNo) {
                m_listPartNo.push_back(record);
                AddIfAbsent(svNumbers, record.strSVNo);
                AddIfAbsent(ioSpecs, record.strIOSpec);
            }
        }
    }
    if (sorted) {
        SortTextList(svNumbers);
        SortTextList(ioSpecs);
    }
    Fill(sv_, std::move(svNumbers), false);
    Fill(io_, std::move(ioSpecs), false);
    MatchConditions();
}

void ActuatorSelectionModel::MatchConditions() {
    m_listSelected.clear();
    startEnabled_ = false;
    if (m_listFound.empty() || m_listPartNo.empty()) {
        return;
    }
    const std::string svNo = sv_.currentText();
    const std::string ioSpec = io_.currentText();
    const auto match =
        std::find_if(m_listPartNo.begin(), m_listPartNo.end(), [&](const stADP_FORMAT& record) {
            return record.strSVNo == svNo && record.strIOSpec == ioSpec;
        });
    if (match != m_listPartNo.end()) {
        m_listSelected.push_back(*match);
        startEnabled_ = true;
    }
}

void ActuatorSelectionModel::SetNarrowDownMode() {
    mode_ = Mode::NarrowDown;
    ResetResults();
}

void ActuatorSelectionModel::SetPartNoMode() {
    mode_ = Mode::PartNo;
    ResetResults();
}

void ActuatorSelectionModel::SearchPartNo() {
    partNoResults_.clear();
    m_listFound.clear();
    std::vector<std::string> partNumbers;
    for (const stADP_FORMAT& record : m_listAll) {
        if (MatchPartNumber(record.strPartNo, pattern_)) {
            m_listFound.push_back(record);
            AddIfAbsent(partNumbers, record.strPartNo);
        }
    }
    SortTextList(partNumbers);
    Fill(partNoResults_, std::move(partNumbers), false);
    FillConditionsPartNo();
}

std::optional<TransmitRequest> ActuatorSelectionModel::StartWriting() {
    if (m_listSelected.empty()) {
        return std::nullopt;
    }
    TransmitRequest request{m_listSelected.front(), writeContents_.current, kFromActuatorSelection};
    ShowReferenceVersion(request.record.strParamVersion);
    return request;
}

void ActuatorSelectionModel::ShowReferenceVersion(const std::string& text) {
    referenceVersion_ = text;
    if (onReferenceVersion) {
        onReferenceVersion(text);
    }
}

}  // namespace velmora

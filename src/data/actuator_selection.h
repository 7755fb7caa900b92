#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ui.h"
#include "model/actuator_table.h"
#include "transmit/transmit_request.h"

namespace velmora {

// The state of one drop-down list: its entries, the selected index (-1 for none) and whether
// entry 0 is the entry that lets every value of its stage pass.
struct ChoiceList {
    std::vector<std::string> entries;
    int current = -1;
    bool hasAnyEntry = false;

    // Text of the selected entry; empty when nothing is selected.
    std::string currentText() const;
    // Selects index, or nothing when index is not one of the entries (as a list control does).
    void select(int index);
    void clear();
};

inline constexpr int kWriteContentsCount = 3;

// True when every piece of the pattern between its '*' characters occurs in the part number,
// each searched on its own, so their order does not matter. Letter case is ignored by
// upper-casing both sides byte by byte (ASCII only; part numbers are ASCII). An empty pattern,
// "*" or only stars match everything.
bool MatchPartNumber(const std::string& partNo, const std::string& pattern);

// What the actuator selection dialog shows and does, without the widgets: the view copies the
// lists into its controls, forwards selections and clicks to the operations below, and reads
// back which controls are enabled.
class ActuatorSelectionModel {
  public:
    enum class Mode { NarrowDown, PartNo };

    ActuatorSelectionModel();

    // Receives every text the main window's version page should show as the reference version.
    std::function<void(const std::string&)> onReferenceVersion;

    // Narrow-down mode, write contents 0, then the table from the list files below root.
    void Initialise(Ui& ui, const std::string& root);
    // Reloads the table and the models (root as LoadActuatorTable takes it), selects the first
    // model and refills the later stages. Also the data update's way in.
    void LoadTable(Ui& ui, const std::string& root);

    // A selection in a list; each runs what the dialog runs on that change.
    void selectModel(int index);
    void selectController(int index);
    void selectMotor(int index);
    void selectLead(int index);
    void selectStroke(int index);
    void selectNarrowDownResult(int index);
    void selectPartNoResult(int index);
    void selectSv(int index);
    void selectIo(int index);
    void selectWriteContents(int index);
    void setPattern(const std::string& pattern) { pattern_ = pattern; }
    // The list texts of the write contents, from the language file.
    void setWriteContentsText(int index, const std::string& text);

    void FillControllers();
    void FillMotors();
    void FillLeads();
    void FillStrokes();
    void ResetResults();
    void SearchNarrowDown();
    void FillConditions();
    void FillConditionsPartNo();
    void MatchConditions();
    void SetNarrowDownMode();
    void SetPartNoMode();
    void SearchPartNo();

    // The chosen record for the transmit dialog, or nothing while the start button is disabled.
    // Shows the record's parameter version as the reference version.
    std::optional<TransmitRequest> StartWriting();

    const ChoiceList& models() const { return model_; }
    const ChoiceList& controllers() const { return controller_; }
    const ChoiceList& motors() const { return motor_; }
    const ChoiceList& leads() const { return lead_; }
    const ChoiceList& strokes() const { return stroke_; }
    const ChoiceList& narrowDownResults() const { return narrowDownResults_; }  // list 1045
    const ChoiceList& partNoResults() const { return partNoResults_; }          // list 1049
    const ChoiceList& svNumbers() const { return sv_; }
    const ChoiceList& ioSpecs() const { return io_; }
    const ChoiceList& writeContents() const { return writeContents_; }
    const std::string& pattern() const { return pattern_; }

    Mode mode() const { return mode_; }
    // Model to stroke lists, the narrow-down results and their search button.
    bool narrowDownControlsEnabled() const { return mode_ == Mode::NarrowDown; }
    // The pattern, the part-number results and their search button.
    bool partNoControlsEnabled() const { return mode_ == Mode::PartNo; }
    bool startEnabled() const { return startEnabled_; }
    const std::string& referenceVersion() const { return referenceVersion_; }

    const std::vector<stADP_FORMAT>& listAll() const { return m_listAll; }
    const std::vector<stADP_FORMAT>& listModel() const { return m_listModel; }
    const std::vector<stADP_FORMAT>& listController() const { return m_listController; }
    const std::vector<stADP_FORMAT>& listMotor() const { return m_listMotor; }
    const std::vector<stADP_FORMAT>& listLead() const { return m_listLead; }
    const std::vector<stADP_FORMAT>& listFound() const { return m_listFound; }
    const std::vector<stADP_FORMAT>& listPartNo() const { return m_listPartNo; }
    const std::vector<stADP_FORMAT>& listSelected() const { return m_listSelected; }

  private:
    void FillConditionLists(const ChoiceList& results, bool sorted);
    void ShowReferenceVersion(const std::string& text);

    std::vector<stADP_FORMAT> m_listAll;
    std::vector<stADP_FORMAT> m_listModel;
    std::vector<stADP_FORMAT> m_listController;
    std::vector<stADP_FORMAT> m_listMotor;
    std::vector<stADP_FORMAT> m_listLead;
    std::vector<stADP_FORMAT> m_listFound;
    std::vector<stADP_FORMAT> m_listPartNo;
    std::vector<stADP_FORMAT> m_listSelected;

    ChoiceList model_;
    ChoiceList controller_;
    ChoiceList motor_;
    ChoiceList lead_;
    ChoiceList stroke_;
    ChoiceList narrowDownResults_;
    ChoiceList partNoResults_;
    ChoiceList sv_;
    ChoiceList io_;
    ChoiceList writeContents_;
    std::string pattern_;
    Mode mode_ = Mode::NarrowDown;
    bool startEnabled_ = false;
    std::string referenceVersion_;
};

}  // namespace velmora

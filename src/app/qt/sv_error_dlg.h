#pragma once

#include "app/qt/velmora_dialog.h"

namespace velmora {

class Ui;

// Tells the user that the controller's software version cannot take the operation and how to
// find out which version the controller runs.
class CSVErrorDlg final : public VelmoraDialog {
    Q_OBJECT
public:
    explicit CSVErrorDlg(Ui& ui, QWidget* parent = nullptr);
};

}  // namespace velmora

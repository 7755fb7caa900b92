#include "compare/compare_sides.h"

#include <utility>

#include "model/backup_file.h"
#include "model/data_set_reader.h"

namespace velmora {

SideLoading LoadBackupSide(const std::string& path) {
    SideLoading loading;
    BackupReading reading = ReadBackupFile(path);
    if (!reading.diagnostics.empty() || !reading.backup) {
        loading.diagnostics = std::move(reading.diagnostics);
        return loading;
    }
    loading.side = CompareSide{path, std::move(reading.backup->image)};
    return loading;
}

SideLoading LoadActuatorSide(const stADP_FORMAT& record) {
    SideLoading loading;
    DataSetReading reading = ReadDataSet(record, true, true);
    if (!reading.diagnostics.empty() || !reading.dataSet) {
        loading.diagnostics = std::move(reading.diagnostics);
        return loading;
    }
    loading.side = CompareSide{
        "part " + record.strPartNo + " SV " + record.strSVNo + " IO " + record.strIOSpec,
        std::move(reading.dataSet->image)};
    return loading;
}

ControllerRead ReadControllerSide(TransferContext& context, CompareSide& side) {
    ControllerContents contents;
    const ControllerRead read = ReadWholeController(context, contents);
    if (read == ControllerRead::Done) {
        side.label = "controller (SV " + contents.version + ")";
        side.image = std::move(contents.image);
    }
    return read;
}

}  // namespace velmora

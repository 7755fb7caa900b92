#include "transmit/write_source.h"

#include <cstdio>
#include <string>

#include "sysfiles/language.h"
#include "transmit/transmit_messages.h"

namespace velmora {
namespace {

// Enough lines to name every fault of a typical file without burying the first ones.
constexpr std::size_t kDetailLines = 40;

bool WritesParameters(WriteContents contents) {
    return contents != WriteContents::StepsOnly;
}

bool WritesSteps(WriteContents contents) {
    return contents != WriteContents::ParametersOnly;
}

std::string DiagnosticList(const Diagnostics& diagnostics) {
    std::string text;
    for (std::size_t i = 0; i < diagnostics.size() && i < kDetailLines; ++i) {
        text += FormatDiagnostic(diagnostics[i]) + "\n";
    }
    if (diagnostics.size() > kDetailLines) {
        text += "... and " + std::to_string(diagnostics.size() - kDetailLines) + " more\n";
    }
    return text;
}

std::string MaskedList(const std::vector<MaskedValue>& masked) {
    std::string text;
    for (std::size_t i = 0; i < masked.size() && i < kDetailLines; ++i) {
        const MaskedValue& value = masked[i];
        char written[32];
        std::snprintf(written, sizeof written, "%u (0x%X)", value.written, value.written);
        text += value.file + ":" + std::to_string(value.line) + ": " + value.given +
                " is written as " + written + "\n";
    }
    if (masked.size() > kDetailLines) {
        text += "... and " + std::to_string(masked.size() - kDetailLines) + " more\n";
    }
    return text;
}

}  // namespace

WriteSourceLoading LoadWriteSource(const TransmitRequest& request) {
    WriteSourceLoading loading;
    WriteSource source;
    source.request = request;
    source.contents = static_cast<WriteContents>(request.writeContents);
    const bool known = request.writeContents >= 0 && request.writeContents <= 2;
    if (!known) {
        // Nothing is written for a contents choice the program does not know.
        loading.source = std::move(source);
        return loading;
    }
    if (request.fromFile == kFromBackupFile) {
        BackupReading reading = ReadBackupFile(request.record.strParamFile);
        if (!reading.backup) {
            loading.diagnostics = std::move(reading.diagnostics);
            return loading;
        }
        source.image = reading.backup->image;
        source.stepCount = kStepCount;
        source.check = reading.backup->check;
    } else {
        DataSetReading reading = ReadDataSet(request.record, WritesParameters(source.contents),
                                             WritesSteps(source.contents));
        if (!reading.dataSet) {
            loading.diagnostics = std::move(reading.diagnostics);
            return loading;
        }
        source.image = reading.dataSet->image;
        source.stepCount = reading.dataSet->stepCount;
        source.masked = std::move(reading.dataSet->masked);
    }
    loading.source = std::move(source);
    return loading;
}

SourceVerdict ConfirmWriteSource(const WriteSourceLoading& loading, Ui& ui) {
    if (!loading.source) {
        // Line 0 names a file that could not be read at all; any other line, damaged text.
        bool unreadable = false;
        for (const Diagnostic& diagnostic : loading.diagnostics) {
            unreadable = unreadable || diagnostic.line == 0;
        }
        const std::string details = DiagnosticList(loading.diagnostics);
        if (unreadable) {
            ShowFileOpenError(ui, details);
        } else {
            ShowFormatErrorWithCountermeasure(ui, details);
        }
        return SourceVerdict::Invalid;
    }
    const WriteSource& source = *loading.source;
    if (!source.masked.empty()) {
        const MessageAnswer answer = ui.showDetailedMessage(
            MessageText(kMsgTransmitMaskedValuesContents),
            MessageText(kMsgTransmitMaskedValuesTitle), MessageIcon::Warning,
            MessageButtons::OkCancelDefaultCancel, MaskedList(source.masked));
        if (answer != MessageAnswer::Ok) {
            return SourceVerdict::Declined;
        }
    }
    if (source.request.fromFile == kFromBackupFile && source.check == BackupCheck::Absent) {
        ui.showMessage(MessageText(kMsgTransmitBackupUncheckedContents),
                       MessageText(kMsgTransmitCompleteTitle), MessageIcon::Information,
                       MessageButtons::Ok);
    }
    return SourceVerdict::Go;
}

}  // namespace velmora

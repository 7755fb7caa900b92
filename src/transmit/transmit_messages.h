#pragma once

// The message boxes of a write, with their texts from the language file.

#include <string>

#include "app/ui.h"
#include "sysfiles/language.h"

namespace velmora {

inline void ShowTransmitError(Ui& ui, const std::string& text, int titleId,
                              const std::string& details = {}) {
    ui.showDetailedMessage(text, MessageText(titleId), MessageIcon::Error, MessageButtons::Ok,
                           details);
}

inline void ShowFileOpenError(Ui& ui, const std::string& details = {}) {
    ShowTransmitError(ui,
                      ComposeAlarmText(kMsgTransmitFileopenErrorAlarmContents,
                                       kMsgTransmitFileopenErrorCountermeasureContents),
                      kMsgTransmitFileopenErrorTitle, details);
}

// The file or the order of its values is damaged: ask for a sound file.
inline void ShowFormatErrorWithCountermeasure(Ui& ui, const std::string& details = {}) {
    ShowTransmitError(ui,
                      ComposeAlarmText(kMsgTransmitFormatErrorAlarmContents,
                                       kMsgTransmitFormatErrorAlarmCountermeasureContents),
                      kMsgTransmitFormatErrorTitle, details);
}

inline void ShowVerifyError(Ui& ui, const std::string& details = {}) {
    ShowTransmitError(ui,
                      ComposeAlarmText(kMsgTransmitVerifyErrorAlarmContents,
                                       kMsgTransmitVerifyErrorAlarmCountermeasureContents),
                      kMsgTransmitVerifyErrorTitle, details);
}

}  // namespace velmora

#include "app/link_messages.h"

#include "sysfiles/language.h"

namespace velmora {

std::string LinkErrorText(const LinkStatus& status) {
    switch (status.error) {
        case LinkError::Timeout:
        case LinkError::Garbled:
        case LinkError::PortGone:
            return MessageText(kMsgComTimeoutCountermeasureContents);
        case LinkError::Exception:
        case LinkError::Mismatch: {
            int alarm = kMsgComAbnormalResponseInjusticeContents;
            if (status.error == LinkError::Exception && status.exceptionCode == 2) {
                alarm = kMsgComAbnormalResponseAddressContents;
            } else if (status.error == LinkError::Exception && status.exceptionCode == 3) {
                alarm = kMsgComAbnormalResponseAccessContents;
            }
            return ComposeAlarmText(alarm, kMsgComAbnormalResponseCountermeasureContents);
        }
        case LinkError::None:
        case LinkError::OpenFailed:
        case LinkError::BadRate:
        case LinkError::BadArgument:
            return {};
    }
    return {};
}

void ShowLinkError(Ui& ui, const LinkStatus& status) {
    const std::string text = LinkErrorText(status);
    if (!text.empty()) {
        ui.showMessage(text, std::string(), MessageIcon::Error, MessageButtons::Ok);
    }
}

}  // namespace velmora

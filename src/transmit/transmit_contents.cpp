#include "transmit/transmit_contents.h"

namespace velmora {

std::string ControllerPartNumberText(const stADP_FORMAT& record) {
    // Letter case counts: only the two exact spellings carry an output type letter.
    if (record.strIOSpec == "NPN") {
        return record.strController + "N-" + record.strPartNo;
    }
    if (record.strIOSpec == "PNP") {
        return record.strController + "P-" + record.strPartNo;
    }
    return record.strController;
}

TransmitContents MakeTransmitContents(const stADP_FORMAT& record,
                                      const std::string& writeContentsText) {
    TransmitContents contents;
    contents.partNo = record.strPartNo;
    contents.controller = ControllerPartNumberText(record);
    contents.svNo = record.strSVNo;
    contents.paramVersion = record.strParamVersion;
    contents.writeContents = writeContentsText;
    return contents;
}

}  // namespace velmora

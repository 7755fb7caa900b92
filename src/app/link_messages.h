#pragma once

#include <string>

#include "app/ui.h"
#include "link/link_status.h"

namespace velmora {

// The language file's text for a failed request cycle, as the error box shows it: the time-out
// text for a controller that did not answer (or a line that only garbled), the abnormal-response
// text for the exception code, the invalid-request text for a reply that answers another request.
// Empty for a failure that is not the line's (a bad argument, a port that could not be opened or
// configured: their callers say what to do).
std::string LinkErrorText(const LinkStatus& status);

// Shows LinkErrorText as an error box; shows nothing when it is empty.
void ShowLinkError(Ui& ui, const LinkStatus& status);

}  // namespace velmora

#pragma once

// Moving register images over the line: the parameter area and the steps in the request
// blocks the register maps fix. Every routine stops at the first request that failed and says
// why; it shows nothing.

#include <cstddef>
#include <functional>

#include "model/register_image.h"
#include "transmit/transfer_context.h"

namespace velmora {

// Called after each request with the requests done and the requests in all.
using RequestProgress = std::function<void(int done, int total)>;

// The order of an area's requests. A reply that came twice is taken for the answer to the next
// request only when that asks for as many registers; read backwards, the same fault shifts the
// values the other way, so two readings in opposite orders cannot agree on shifted values.
enum class ReadOrder { Forward, Backward };

// Reads the whole parameter area into image (the unit name's registers are asked for their
// first four only, so its last four stay as they were).
[[nodiscard]] LinkStatus ReadParameterArea(TransferContext& context, RegisterImage& image,
                                           const RequestProgress& progress = {},
                                           ReadOrder order = ReadOrder::Forward);

// How a read that can be cancelled ended.
struct AreaOutcome {
    LinkStatus link;
    bool cancelled = false;
    bool ok() const { return link.ok() && !cancelled; }
};

// Reads all 64 steps into image. Stops early when cancelled() says so between two requests.
[[nodiscard]] AreaOutcome ReadStepArea(TransferContext& context, RegisterImage& image,
                                       const RequestProgress& progress = {},
                                       const std::function<bool()>& cancelled = {},
                                       ReadOrder order = ReadOrder::Forward);

// Writes the whole parameter area from image: the unit name's eight registers first, then the
// area block by block.
[[nodiscard]] LinkStatus WriteParameterArea(TransferContext& context, const RegisterImage& image,
                                            const RequestProgress& progress = {});
// Writes steps 0 to stepCount - 1 from image, one request per step.
[[nodiscard]] LinkStatus WriteSteps(TransferContext& context, const RegisterImage& image,
                                    std::size_t stepCount, const RequestProgress& progress = {});

// What a verification compares: the parameter area without the unit name's text, which the
// read-back only half covers; the steps as the image gives them, steps it does not give
// expected to read 0.
std::vector<RegisterDifference> CompareParameterArea(const RegisterImage& written,
                                                     const RegisterImage& read);
std::vector<RegisterDifference> CompareSteps(const RegisterImage& written, std::size_t stepCount,
                                             const RegisterImage& read);

}  // namespace velmora

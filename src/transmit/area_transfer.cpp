#include "transmit/area_transfer.h"

#include <array>
#include <cstdint>

#include "link/register_ops.h"

namespace velmora {
namespace {

constexpr std::size_t kMaxBlockRegisters = 125;

using BlockBytes = std::array<std::uint8_t, 2 * kMaxBlockRegisters>;

LinkStatus ReadBlock(TransferContext& context, const RegisterBlock& block, RegisterImage& image) {
    BlockBytes bytes{};
    const LinkStatus status =
        ReadRegisters(context.link, context.stationId, block.reg, block.count, bytes.data());
    if (!status.ok()) {
        return status;
    }
    for (std::uint16_t i = 0; i < block.count; ++i) {
        image.set(static_cast<std::uint16_t>(block.reg + i),
                  static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]));
    }
    return {};
}

LinkStatus WriteBlock(TransferContext& context, const RegisterBlock& block,
                      const RegisterImage& image) {
    BlockBytes bytes{};
    for (std::uint16_t i = 0; i < block.count; ++i) {
        const std::uint16_t value = image.get(static_cast<std::uint16_t>(block.reg + i));
        bytes[2 * i] = static_cast<std::uint8_t>(value >> 8);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(value & 0xFF);
    }
    return WriteRegisters(context.link, context.stationId, block.reg, bytes.data(),
                          2 * block.count);
}

void Report(const RequestProgress& progress, int done, int total) {
    if (progress) {
        progress(done, total);
    }
}

}  // namespace

LinkStatus ReadParameterArea(TransferContext& context, RegisterImage& image,
                             const RequestProgress& progress, ReadOrder order) {
    const auto blocks = ParameterReadBlocks();
    const int total = static_cast<int>(blocks.size());
    for (int done = 0; done < total; ++done) {
        const std::size_t index =
            static_cast<std::size_t>(order == ReadOrder::Forward ? done : total - 1 - done);
        if (const LinkStatus status = ReadBlock(context, blocks[index], image); !status.ok()) {
            return status;
        }
        Report(progress, done + 1, total);
    }
    return {};
}

AreaOutcome ReadStepArea(TransferContext& context, RegisterImage& image,
                         const RequestProgress& progress, const std::function<bool()>& cancelled,
                         ReadOrder order) {
    const int total = static_cast<int>(kStepCount);
    for (int done = 0; done < total; ++done) {
        if (cancelled && cancelled()) {
            return AreaOutcome{{}, true};
        }
        const std::size_t step =
            static_cast<std::size_t>(order == ReadOrder::Forward ? done : total - 1 - done);
        if (const LinkStatus status = ReadBlock(context, StepBlock(step), image); !status.ok()) {
            return AreaOutcome{status, false};
        }
        Report(progress, done + 1, total);
    }
    return {};
}

LinkStatus WriteParameterArea(TransferContext& context, const RegisterImage& image,
                              const RequestProgress& progress) {
    const auto blocks = ParameterWriteBlocks();
    const int total = static_cast<int>(blocks.size());
    int done = 0;
    for (const RegisterBlock& block : blocks) {
        if (const LinkStatus status = WriteBlock(context, block, image); !status.ok()) {
            return status;
        }
        Report(progress, ++done, total);
    }
    return {};
}

LinkStatus WriteSteps(TransferContext& context, const RegisterImage& image, std::size_t stepCount,
                      const RequestProgress& progress) {
    const int total = static_cast<int>(stepCount);
    for (std::size_t step = 0; step < stepCount && step < kStepCount; ++step) {
        if (const LinkStatus status = WriteBlock(context, StepBlock(step), image); !status.ok()) {
            return status;
        }
        Report(progress, static_cast<int>(step) + 1, total);
    }
    return {};
}

std::vector<RegisterDifference> CompareParameterArea(const RegisterImage& written,
                                                     const RegisterImage& read) {
    std::vector<RegisterDifference> differences = CompareImages(
        written, read, kParameterFirstReg, static_cast<std::uint16_t>(kUnitNameReg - 1));
    const auto after =
        CompareImages(written, read, static_cast<std::uint16_t>(kUnitNameReg + kUnitNameBytes / 2),
                      kParameterLastReg);
    differences.insert(differences.end(), after.begin(), after.end());
    return differences;
}

std::vector<RegisterDifference> CompareSteps(const RegisterImage& written, std::size_t stepCount,
                                             const RegisterImage& read) {
    RegisterImage expected;
    for (std::size_t step = 0; step < kStepCount; ++step) {
        const RegisterBlock block = StepBlock(step);
        for (std::uint16_t i = 0; i < block.count; ++i) {
            const auto reg = static_cast<std::uint16_t>(block.reg + i);
            expected.set(reg, step < stepCount ? written.get(reg) : 0);
        }
    }
    return CompareImages(expected, read, kStepFirstReg, kStepLastReg);
}

}  // namespace velmora

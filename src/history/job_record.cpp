#include "history/job_record.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <utility>

#include "platform/local_time.h"

namespace velmora {
namespace {

constexpr std::array<std::pair<JobKind, std::string_view>, 4> kKinds = {{
    {JobKind::Backup, "backup"},
    {JobKind::WriteActuator, "write-actuator"},
    {JobKind::Restore, "restore"},
    {JobKind::Compare, "compare"},
}};
constexpr std::array<std::pair<JobContents, std::string_view>, 3> kContents = {{
    {JobContents::Both, "both"},
    {JobContents::Parameters, "parameters"},
    {JobContents::Steps, "steps"},
}};
constexpr std::array<std::pair<JobResult, std::string_view>, 10> kResults = {{
    {JobResult::Interrupted, "interrupted"},
    {JobResult::Saved, "saved"},
    {JobResult::WrittenAndVerified, "written and verified"},
    {JobResult::VerifyFailed, "verify failed"},
    {JobResult::CommunicationFailed, "communication failed"},
    {JobResult::Cancelled, "cancelled"},
    {JobResult::Refused, "refused"},
    {JobResult::Failed, "failed"},
    {JobResult::Equal, "equal"},
    {JobResult::Differ, "differ"},
}};

template <typename Enum, std::size_t N>
std::string_view TextOf(const std::array<std::pair<Enum, std::string_view>, N>& table, Enum value) {
    for (const auto& [entry, text] : table) {
        if (entry == value) {
            return text;
        }
    }
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> ValueOf(const std::array<std::pair<Enum, std::string_view>, N>& table,
                            std::string_view text) {
    for (const auto& [entry, name] : table) {
        if (name == text) {
            return entry;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string_view JobKindText(JobKind kind) {
    return TextOf(kKinds, kind);
}
std::string_view JobContentsText(JobContents contents) {
    return TextOf(kContents, contents);
}
std::string_view JobResultText(JobResult result) {
    return TextOf(kResults, result);
}
std::optional<JobKind> ParseJobKind(std::string_view text) {
    return ValueOf(kKinds, text);
}
std::optional<JobContents> ParseJobContents(std::string_view text) {
    return ValueOf(kContents, text);
}
std::optional<JobResult> ParseJobResult(std::string_view text) {
    return ValueOf(kResults, text);
}

std::string HistoryTimeNow() {
    std::tm local{};
    if (!LocalTime(std::time(nullptr), local)) {
        return {};
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

}  // namespace velmora

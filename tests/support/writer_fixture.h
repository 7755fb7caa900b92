#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "model/actuator_table.h"
#include "model/file_ctrl.h"
#include "support/link_fixture.h"
#include "support/temp_folder.h"
#include "transmit/transfer_context.h"

namespace velmora::test {

// One request as the controller received it.
struct LoggedRequest {
    std::uint8_t function = 0;
    std::uint16_t address = 0;
    std::uint16_t count = 0;
    std::vector<std::uint8_t> data;  // the register bytes of a write
};

inline std::vector<LoggedRequest> DecodeRequests(
    const std::vector<std::vector<std::uint8_t>>& log) {
    std::vector<LoggedRequest> requests;
    for (const auto& frame : log) {
        LoggedRequest request;
        if (frame.size() >= 6) {
            request.function = frame[1];
            request.address = static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
            request.count = static_cast<std::uint16_t>(frame[4] << 8 | frame[5]);
        }
        if (request.function == 0x10 && frame.size() >= 7 + frame[6] + 2u) {
            request.data.assign(frame.begin() + 7, frame.begin() + 7 + frame[6]);
        }
        requests.push_back(std::move(request));
    }
    return requests;
}

// "write 0x000e x8" / "read 0x0000 x14", for readable comparisons of request lists.
inline std::string Describe(const LoggedRequest& request) {
    char text[48];
    std::snprintf(text, sizeof text, "%s 0x%04x x%u",
                  request.function == 0x10   ? "write"
                  : request.function == 0x03 ? "read"
                                             : "?",
                  request.address, request.count);
    return text;
}

inline std::vector<std::string> Describe(const std::vector<LoggedRequest>& requests) {
    std::vector<std::string> lines;
    for (const auto& request : requests) {
        lines.push_back(Describe(request));
    }
    return lines;
}

// A plain comma-separated text as rows of fields.
inline std::vector<std::vector<std::string>> SplitCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (;;) {
            const std::size_t comma = line.find(',', from);
            fields.push_back(line.substr(from, comma - from));
            if (comma == std::string::npos) {
                break;
            }
            from = comma + 1;
        }
        rows.push_back(std::move(fields));
        start = end + 1;
    }
    return rows;
}

inline int ColumnOf(const std::vector<std::string>& row, const std::string& heading) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (row[i] == heading) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

inline std::string SamplePath(const std::string& name) {
    return std::string(VELMORA_SOURCE_DIR) + "/data/sample/VMA-Series/" + name;
}

// The link fixture with a temporary data folder that holds scrambled data files, and a context
// that collects verification differences.
class WriterFixture : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        ASSERT_TRUE(folder.valid());
        controller().clearRequestLog();
    }

    TransferContext context() { return TransferContext{link, 1, ui, &differences}; }

    // Stores plain text scrambled in the data folder under the listed name, ".csv" as ".vmw".
    void StoreFile(const std::string& listedName, const std::string& plain) {
        stADP_FORMAT record;
        record.strDataFile = folder.file(kAdapterFileName);
        CFileCtrl file;
        ASSERT_TRUE(file.Open(DataFilePath(record, listedName), kFileModeCreate | kFileModeWrite));
        file.WriteText(WithCrLfLineEnds(plain));
        ASSERT_EQ(file.ScrambleAndWrite(), 0);
    }

    // A record of the sample list, its files in the data folder.
    stADP_FORMAT Record(const std::string& paramFile = "VMA10_param.csv",
                        const std::string& stepFile = "VMA10_step.csv",
                        const std::string& column = "VMA10-L06") const {
        stADP_FORMAT record;
        record.strDataFile = folder.file(kAdapterFileName);
        record.strPartNo = "VMA10-06I";
        record.strParamFile = paramFile;
        record.strStepFile = stepFile;
        record.strParamColumn = column;
        return record;
    }

    std::vector<LoggedRequest> Requests() { return DecodeRequests(controller().requestLog()); }

    // Zeroes the controller's registers from first to last.
    void ClearRegisters(std::uint16_t first, std::uint16_t last) {
        for (unsigned reg = first; reg <= last; ++reg) {
            controller().setRegister(static_cast<std::uint16_t>(reg), 0);
        }
    }

    void ExpectOneError(int titleId, const std::string& text) {
        const auto messages = ui.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, MessageText(titleId));
        EXPECT_EQ(messages[0].text, text);
        EXPECT_EQ(messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
    }

    TempFolder folder;
    std::vector<VerifyDifference> differences;
};

}  // namespace velmora::test

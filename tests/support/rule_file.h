#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder.h"

namespace velmora::test {

// The lines of a functional restriction rule file, in the order they were first set.
class RuleFile {
  public:
    RuleFile& set(const std::string& key, const std::string& value) {
        for (auto& line : lines_) {
            if (line.first == key) {
                line.second = value;
                return *this;
            }
        }
        lines_.emplace_back(key, value);
        return *this;
    }
    RuleFile& set(const std::string& key, int value) { return set(key, std::to_string(value)); }
    RuleFile& remove(const std::string& key) {
        std::erase_if(lines_, [&](const auto& line) { return line.first == key; });
        return *this;
    }
    // A prefix's ranges and its outcome records; verdict keys are left to the test.
    RuleFile& ranges(const std::string& prefix, int svMin, int svMax, int okBkcMin = 0,
                     int okBkcMax = 65535, int ngBkcMin = 0, int ngBkcMax = 65535) {
        set(prefix + "_SVNO_MIN", svMin);
        set(prefix + "_SVNO_MAX", svMax);
        set(prefix + "_SVNO_OK_BKC_MIN", okBkcMin);
        set(prefix + "_SVNO_OK_BKC_MAX", okBkcMax);
        set(prefix + "_SVNO_NG_BKC_MIN", ngBkcMin);
        return set(prefix + "_SVNO_NG_BKC_MAX", ngBkcMax);
    }
    // One outcome record (verdict 0, 1 or 2 is record 1, 2 or 3).
    RuleFile& outcome(const std::string& prefix, int record, int message, int actuator, int file,
                      int backup) {
        const std::string p = prefix + "_" + std::to_string(record) + "_";
        set(p + "MESSAGE", message);
        set(p + "ACTUATOR", actuator);
        set(p + "FILE", file);
        return set(p + "BACKUP", backup);
    }

    std::string text() const {
        std::string out = "; written by the test\n[FUNCTIONAL_RESTRICTION_DATA]\n";
        for (const auto& [key, value] : lines_) {
            out += key + "=" + value + "\n";
        }
        return out;
    }
    // Writes the file where the program looks for it under the folder.
    void writeTo(const TempFolder& folder) const {
        folder.write("System/FunctionalRestriction.ini", text());
    }

  private:
    std::vector<std::pair<std::string, std::string>> lines_;
};

}  // namespace velmora::test

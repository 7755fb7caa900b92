#include "platform/folder_utils.h"
#include "platform/folder_listing.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace velmora {
namespace {

int CompareNoCase(const std::string& a, const std::string& b) {
    const std::size_t size = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < size; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool LessNoCase(const std::string& a, const std::string& b) {
    return CompareNoCase(a, b) < 0;
}

}  // namespace

void SortTextList(std::vector<std::string>& list) {
    if (list.size() < 3) {
        return;
    }
    std::stable_sort(list.begin(), list.end(), LessNoCase);
}

namespace {

// The number text starts with, after blanks and a sign, always with a point for decimals:
// "12.5mm" is 12.5 whatever the user's locale says. A number beyond float's range reads as
// infinity (or zero, for a negative exponent), as strtof gives it.
bool LeadingFloat(const std::string& text, float& value) {
    const char* const end = text.data() + text.size();
    const char* begin = text.data() + std::min(text.find_first_not_of(" \t\n\v\f\r"), text.size());
    if (end - begin > 1 && *begin == '+' && begin[1] != '-') {
        ++begin;  // from_chars takes a minus sign only
    }
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error == std::errc::result_out_of_range) {
        const char* exponent =
            std::find_if(begin, stop, [](char c) { return c == 'e' || c == 'E'; });
        const bool tiny = exponent + 1 < stop && exponent[1] == '-';
        value = std::copysign(tiny ? 0.0f : HUGE_VALF, *begin == '-' ? -1.0f : 1.0f);
    }
    return stop != begin;
}

}  // namespace

void SortNumberList(std::vector<std::string>& list) {
    if (list.size() < 3) {
        return;
    }
    // An entry without a leading number (NaN included) has no place among the numbers: such
    // entries go after all numbers, in case-insensitive text order among themselves.
    struct Keyed {
        bool isNumber;
        float value;
        std::string text;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(list.size());
    for (auto& text : list) {
        float value = 0;
        const bool isNumber = LeadingFloat(text, value) && !std::isnan(value);
        keyed.push_back({isNumber, value, std::move(text)});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.isNumber != b.isNumber) {
            return a.isNumber;
        }
        if (a.isNumber) {
            return a.value < b.value;
        }
        return LessNoCase(a.text, b.text);
    });
    for (std::size_t i = 0; i < list.size(); ++i) {
        list[i] = std::move(keyed[i].text);
    }
}

int FindFileInTree(const std::string& folder, const std::string& fileName,
                   std::vector<std::string>& found) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries)) {
        return 0;
    }
    int hit = 0;
    for (const auto& entry : entries) {
        const std::string path = folder + "/" + entry.name;
        if (entry.isFolder) {
            if (FindFileInTree(path, fileName, found) == 1) {
                hit = 1;
            }
        } else if (entry.name == fileName) {
            found.push_back(path);
            hit = 1;
        }
    }
    return hit;
}

int DeleteTree(const std::string& folder) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries)) {
        return -1;
    }
    // Single failures are passed over: as much as possible is removed.
    for (const auto& entry : entries) {
        const std::string path = folder + "/" + entry.name;
        if (entry.isFolder) {
            DeleteTree(path);
        } else {
            RemoveOneFile(path);
        }
    }
    RemoveEmptyFolder(folder);
    return 0;
}

int CopyTree(const std::string& source, const std::string& destination) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(source, entries)) {
        return -1;
    }
    for (const auto& entry : entries) {
        const std::string from = source + "/" + entry.name;
        const std::string to = destination + "/" + entry.name;
        if (entry.isFolder) {
            if (CopyTree(from, to) != 0) {
                return -1;
            }
            continue;
        }
        // One level only; a missing parent makes the copy below fail.
        MakeFolderIfMissing(destination);
        if (!CopyOneFile(from, to)) {
            return -1;
        }
    }
    return 0;
}

}  // namespace velmora

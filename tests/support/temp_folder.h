#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

namespace velmora::test {

// A fresh folder in the system's temporary folder (/tmp on Linux), removed with everything in
// it (read-only parts included) when the object goes.
class TempFolder {
  public:
    TempFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        std::string base = fs::temp_directory_path(error).string();
        if (error)
            return;
        while (!base.empty() && (base.back() == '/' || base.back() == '\\')) base.pop_back();
        static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        std::mt19937 random(std::random_device{}());
        std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            std::string candidate = base + "/velmora_test_";
            for (int i = 0; i < 6; ++i) candidate.push_back(kLetters[pick(random)]);
            // create_directory is false for a name that exists: that one is someone else's.
            if (fs::create_directory(candidate, error))
                path_ = candidate;
            else if (error)
                return;
        }
    }
    ~TempFolder() {
        namespace fs = std::filesystem;
        if (path_.empty())
            return;
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
            if (entry.is_directory() && !entry.is_symlink()) {
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
            }
        }
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool valid() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }

    // Writes the bytes as they are, making the folders above the file.
    std::string write(const std::string& relative, const std::string& bytes) const {
        const std::filesystem::path target = file(relative);
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << bytes;
        return target.string();
    }

    // The names directly in the folder (or in a sub-folder of it).
    std::set<std::string> names(const std::string& relative = "") const {
        std::set<std::string> found;
        std::error_code ignored;
        const std::string folder = relative.empty() ? path_ : file(relative);
        for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
            found.insert(entry.path().filename().string());
        }
        return found;
    }

  private:
    std::string path_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace velmora::test

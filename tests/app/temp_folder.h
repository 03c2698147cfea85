// A scratch folder per test, removed with everything in it when the test ends.
//
// Thread: owned by the test's thread.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace tavero::test {

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tavero-app-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern + "/";
        }
    }
    ~TempFolder() {
        std::error_code ec;
        if (!m_path.empty()) {
            // Read-only sub-folders made by a test must not block the clean-up.
            for (auto& entry : std::filesystem::recursive_directory_iterator(m_path, ec)) {
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
            }
            std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
            std::filesystem::remove_all(m_path, ec);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Ends in "/".
    [[nodiscard]] const std::string& path() const { return m_path; }

    // Writes `bytes` to `relativePath`, creating its folders.
    void write(std::string_view relativePath, std::string_view bytes) const {
        const std::filesystem::path file = m_path + std::string(relativePath);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    [[nodiscard]] std::string read(std::string_view relativePath) const {
        std::ifstream in(m_path + std::string(relativePath), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string m_path;
};

} // namespace tavero::test

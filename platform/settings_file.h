#pragma once
// The settings file P_RAND32.INI with private-profile semantics: sections and
// keys matched without regard to case, integers as decimal text, a missing key
// giving the default, every other line of the file (comments, foreign keys,
// order) left as it was. Each write re-reads the file under an advisory lock
// and replaces it atomically, so a crash never leaves a torn file and two
// instances writing at once keep both changes. Reads use the file as last
// parsed, parsing it again only when it changed on disk (another instance
// may have written it).

#include "platform/settings_keys.h"

#include <memory>
#include <string>
#include <string_view>

namespace pictorand {

inline constexpr const char* kSettingsFileName = "P_RAND32.INI";

class SettingsFile {
public:
    // The program's settings file in configDirectory().
    SettingsFile();
    explicit SettingsFile(std::string path);

    const std::string& path() const { return m_path; }

    // Decimal text read as an integer; a missing key gives the default, text
    // that does not start with a number gives 0.
    int readInt(std::string_view section, std::string_view key, int defaultValue) const;
    // The whole value with surrounding blanks (and one pair of enclosing
    // quotes) removed: paths have no length limit here.
    std::string readText(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // False when the file could not be written.
    bool writeText(std::string_view section, std::string_view key, std::string_view value);
    bool writeInt(std::string_view section, std::string_view key, int value);
    bool deleteKey(std::string_view section, std::string_view key);

    // The same through the catalogue of keys.
    int readInt(const SettingKey& key) const;
    std::string readText(const SettingKey& key) const;
    bool writeText(const SettingKey& key, std::string_view value) { return writeText(key.section, key.name, value); }
    bool writeInt(const SettingKey& key, int value) { return writeInt(key.section, key.name, value); }

    struct Parsed; // the file's lines as last read, and what it was on disk

private:
    std::string m_path;
    // Shared by copies, which name the same file.
    std::shared_ptr<Parsed> m_parsed;
};

// A catalogue default with "$TEMP" replaced by the system's temporary folder.
std::string expandSettingDefault(std::string_view defaultValue);

} // namespace pictorand

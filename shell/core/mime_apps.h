#pragma once
// The per-user mimeapps.list that freedesktop.org desktops share: which
// desktop entry opens each MIME type.
// Edited as lines, not parsed into a settings object: every line we do not
// change (comments, other sections, other programs' keys, their order and
// spelling) is written back byte for byte. A generic INI writer would
// escape the section names ("[Added%20Associations]") and break the file
// for every other program.

#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kDefaultApplicationsSection = "Default Applications";

class MimeAppsList {
public:
    // The file as it is now; a missing file reads as empty.
    static MimeAppsList read(const std::string& path);

    // The value of `mimeType` in [Default Applications]; empty when none.
    std::string defaultFor(const std::string& mimeType) const;
    // Replaces the key's line, or adds one at the end of the section (which
    // is added at the end of the file when missing).
    void setDefault(const std::string& mimeType, const std::string& desktopIds);
    void removeDefault(const std::string& mimeType);

    // Writes a temporary file beside `path`, syncs it and renames it over
    // the old one, so a failure leaves the old file whole. False with the
    // reason in `error`.
    bool write(const std::string& path, std::string& error) const;

    const std::string& text() const { return m_text; }

private:
    // Where the value of `key` lies in [Default Applications]: the line's
    // start and end offsets in m_text; npos when there is none.
    struct Line {
        size_t start = std::string::npos;
        size_t end = std::string::npos;
    };
    Line findKey(const std::string& key) const;
    // Where a new key goes: after the section's last non-blank line;
    // npos when there is no such section.
    size_t sectionEnd() const;

    std::string m_text;
};

} // namespace pictorand

#pragma once
// An RAII wrapper over a C stream for readers that read files piecewise
// (whole files are read with WholeFile).

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace pictorand {

// Owns a FILE*; closes it when it goes.
class OpenFile {
public:
    OpenFile() = default;
    // Files read ("rb") come through openForReading.
    OpenFile(const std::string& path, const char* mode);
    OpenFile(OpenFile&& other) noexcept
        : m_file(other.m_file)
    {
        other.m_file = nullptr;
    }
    OpenFile& operator=(OpenFile&& other) noexcept
    {
        if (this != &other) {
            close();
            m_file = other.m_file;
            other.m_file = nullptr;
        }
        return *this;
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() { close(); }

    explicit operator bool() const { return m_file != nullptr; }
    std::FILE* get() const { return m_file; }
    // Size of the file, or nothing when it cannot be told.
    std::optional<uint64_t> size() const;
    // fclose's result: false when buffered data could not be written.
    bool close();

private:
    std::FILE* m_file = nullptr;
};


} // namespace pictorand

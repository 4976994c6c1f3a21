// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zvk {

// An INI file as its lines, read and edited in place: the program's keys are read and
// changed where they stand, and every other byte of the file stays as it was (comments,
// blank lines, foreign sections and keys, lines that are no key at all, duplicates, the
// file's own line endings and byte-order mark). Sections and keys match without regard to
// case; of two equal keys the first counts, as Windows INI readers take it. A file that
// starts with a UTF-16 byte-order mark (little- or big-endian) is read and written as
// UTF-16 in its own byte order.
class IniText {
  public:
    explicit IniText(std::string_view bytes);

    // The value (blanks around it removed) of the first key of that name in a section
    // of that name; nullopt when there is none.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // Replaces the value of that key where it stands; a missing key is added at the end
    // of its section's first occurrence, a missing section at the end of the file.
    void set(std::string_view section, std::string_view key, std::string_view value);

    // The file's bytes, in its own encoding.
    std::string bytes() const;

  private:
    struct Line {
        std::string text;  // without its line ending
        std::string eol;   // "\r\n", "\n", "\r", or "" for a last line without one
    };
    // Where the first key of that name in that section stands (index into lines_).
    std::optional<size_t> find(std::string_view section, std::string_view key) const;

    std::string bom_;  // the UTF-8 byte-order mark, when the file has it
    bool utf16_ = false;
    bool bigEndian_ = false;
    std::string tail_;  // an odd last byte of a UTF-16 file
    std::string eol_ = "\n";
    std::vector<Line> lines_;
};

}  // namespace zvk

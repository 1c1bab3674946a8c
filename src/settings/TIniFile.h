#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// A settings file in the ordinary ini form: "[Section]" lines and
// "Key=Value" lines, ";" comments. Section and key names compare without
// regard to letter case; where a key stands twice the first one counts.
// Lines that are neither are kept as they are, so a file written back keeps
// what the program does not know about.
//
// Reading integers: decimal with an optional sign, or hexadecimal after "0x"
// or "0X" (up to 8 digits, taken as a 32-bit pattern); anything else, or a
// decimal outside 32 bits, reads as the default. Booleans read as true when
// the value reads as a non-zero integer.
//
// Not thread-safe; the settings are read and written on the window thread.
class TIniFile {
public:
    // The most of a file that is read; settings never come near it, and a
    // stray large file must not fill the memory.
    static constexpr std::size_t kMaxFileBytes = 1u << 20;

    // Reads FileName when it exists (a missing file is an empty one).
    explicit TIniFile(std::string FileName);
    // A document from text, with no file behind it.
    static TIniFile FromText(std::string_view Text);

    const std::string& FileName() const { return Name; }
    bool SectionExists(std::string_view Section) const;
    bool ValueExists(std::string_view Section, std::string_view Key) const;

    std::string ReadString(std::string_view Section, std::string_view Key, const std::string& Default) const;
    std::int32_t ReadInteger(std::string_view Section, std::string_view Key, std::int32_t Default) const;
    bool ReadBool(std::string_view Section, std::string_view Key, bool Default) const;

    // Changes the key where it stands, or adds it at the end of its section,
    // or adds the section at the end of the document.
    void WriteString(std::string_view Section, std::string_view Key, std::string_view Value);
    void WriteInteger(std::string_view Section, std::string_view Key, std::int32_t Value);
    void WriteBool(std::string_view Section, std::string_view Key, bool Value);

    // The document as it would be written.
    std::string Text() const;

    // Writes the document to a new file beside FileName and renames it over
    // FileName, so the old settings stay whole until the new ones are.
    // Raises std::runtime_error with the reason when that fails.
    void UpdateFile() const;

    // The integer reading rule alone.
    static std::optional<std::int32_t> ParseInteger(std::string_view Text);

private:
    enum class TKind { lkOther, lkSection, lkEntry };
    struct TLine {
        TKind Kind = TKind::lkOther;
        std::string Text;    // the whole line as read or written
        std::string Section; // lkSection: its name
        std::string Key;     // lkEntry: its key
        std::string Value;   // lkEntry: its value, trimmed and unquoted
    };

    TIniFile() = default;
    void Parse(std::string_view Text);
    // The first entry of Key in Section, or npos.
    std::size_t FindEntry(std::string_view Section, std::string_view Key) const;
    const std::string* Find(std::string_view Section, std::string_view Key) const;

    std::string Name;
    bool ByteOrderMark = false; // kept, so the text written back starts as the text read
    std::vector<TLine> Lines;
};

} // namespace kestrune

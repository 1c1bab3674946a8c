#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace kestrune::cli {

// What the command-line program says, in the habits of the field's tools:
// results on stdout, messages and progress on stderr, progress drawn only on
// a terminal, --json for one object per line on stdout, --quiet for silence
// except errors.
class TCliOutput {
public:
    using TFields = std::vector<std::pair<std::string, std::string>>; // values already JSON-encoded

    TCliOutput(std::ostream& Out, std::ostream& Err, bool Json, bool Quiet, bool ErrIsTerminal);

    void Progress(const std::string& What, int Percent);
    // A line redrawn in place on a terminal (a level meter); nothing elsewhere.
    void Meter(const std::string& Line);
    void EndProgress();
    void Result(const std::string& Text, const std::string& Event, const TFields& Fields);
    // A result line only in text mode, or only as a JSON object.
    void Text(const std::string& Line);
    void JsonOnly(const std::string& Event, const TFields& Fields);
    void Error(const std::string& Message);
    void Info(const std::string& Message);

    static std::string JsonString(const std::string& Text);
    static std::string JsonNumber(std::int64_t Value);

private:
    void Emit(const std::string& Event, const TFields& Fields);

    std::ostream& Out;
    std::ostream& Err;
    bool Json;
    bool Quiet;
    bool Terminal;
    bool Drawn = false;
    int LastPercent = -2;
};

} // namespace kestrune::cli

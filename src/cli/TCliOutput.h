#pragma once

#include <nlohmann/json.hpp>

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
    // An event's fields in the order given; "event" comes first.
    using TJson = nlohmann::ordered_json;
    // Fields whose values are JSON text already (JsonString, JsonNumber,
    // "true", "null", a list): each is parsed, so a malformed one raises
    // std::invalid_argument instead of printing a broken line.
    using TFields = std::vector<std::pair<std::string, std::string>>;

    TCliOutput(std::ostream& Out, std::ostream& Err, bool Json, bool Quiet, bool ErrIsTerminal);

    void Progress(const std::string& What, int Percent);
    // A line redrawn in place on a terminal (a level meter); nothing elsewhere.
    void Meter(const std::string& Line);
    void EndProgress();
    void Result(const std::string& Text, const std::string& Event, const TFields& Fields);
    // The same with the fields as a JSON object (values of any JSON type).
    void ResultObject(const std::string& Text, const std::string& Event, const TJson& Fields);
    // A result line only in text mode, or only as a JSON object.
    void Text(const std::string& Line);
    void JsonOnly(const std::string& Event, const TFields& Fields);
    void JsonOnlyObject(const std::string& Event, const TJson& Fields);
    void Error(const std::string& Message);
    void Info(const std::string& Message);

    // JSON text of a string or a number, for TFields.
    static std::string JsonString(const std::string& Text);
    static std::string JsonNumber(std::int64_t Value);
    // One event as a line of JSON: {"event":Event, fields...}. Text that is
    // not UTF-8 (a file name from an old disk) is kept readable with U+FFFD
    // in place of the bad bytes instead of breaking the line.
    static std::string EventLine(const std::string& Event, const TJson& Fields);

private:
    static TJson ParseFields(const TFields& Fields);
    void Emit(const std::string& Event, const TJson& Fields);

    std::ostream& Out;
    std::ostream& Err;
    bool Json;
    bool Quiet;
    bool Terminal;
    bool Drawn = false;
    int LastPercent = -2;
};

} // namespace kestrune::cli

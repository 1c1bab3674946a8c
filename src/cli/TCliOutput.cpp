#include "cli/TCliOutput.h"

#include <ostream>
#include <stdexcept>

namespace kestrune::cli {

TCliOutput::TCliOutput(std::ostream& O, std::ostream& E, bool J, bool Q, bool ErrIsTerminal)
    : Out(O), Err(E), Json(J), Quiet(Q), Terminal(ErrIsTerminal)
{
}

namespace {

std::string Dump(const TCliOutput::TJson& Value)
{
    return Value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

std::string TCliOutput::JsonString(const std::string& Text)
{
    return Dump(TJson(Text));
}

std::string TCliOutput::JsonNumber(std::int64_t Value)
{
    return Dump(TJson(Value));
}

TCliOutput::TJson TCliOutput::ParseFields(const TFields& Fields)
{
    TJson object = TJson::object();
    for (const auto& [key, value] : Fields) {
        TJson parsed = TJson::parse(value, nullptr, false);
        if (parsed.is_discarded())
            // NOLINTNEXTLINE(performance-inefficient-string-concatenation): once, on the way out
            throw std::invalid_argument("the field \"" + key + "\" is not JSON: " + value);
        object[key] = std::move(parsed);
    }
    return object;
}

std::string TCliOutput::EventLine(const std::string& Event, const TJson& Fields)
{
    TJson line = TJson::object();
    line["event"] = Event;
    for (const auto& [key, value] : Fields.items())
        if (key != "event")
            line[key] = value;
    return Dump(line);
}

void TCliOutput::Emit(const std::string& Event, const TJson& Fields)
{
    Out << EventLine(Event, Fields) << "\n";
    Out.flush();
}

void TCliOutput::Progress(const std::string& What, int Percent)
{
    if (Percent == LastPercent)
        return;
    LastPercent = Percent;
    if (Json) {
        Emit("progress", TJson{{"task", What}, {"percent", Percent}});
        return;
    }
    if (Quiet || !Terminal)
        return;
    Err << "\r" << What << ": ";
    if (Percent < 0)
        Err << "...";
    else
        Err << Percent << "%";
    Err << "\x1b[K";
    Err.flush();
    Drawn = true;
}

void TCliOutput::Meter(const std::string& Line)
{
    if (Json || Quiet || !Terminal)
        return;
    Err << "\r" << Line << "\x1b[K";
    Err.flush();
    Drawn = true;
}

void TCliOutput::EndProgress()
{
    if (Drawn) {
        Err << "\r\x1b[K";
        Err.flush();
        Drawn = false;
    }
    LastPercent = -2;
}

void TCliOutput::Result(const std::string& Text, const std::string& Event, const TFields& Fields)
{
    ResultObject(Text, Event, Json ? ParseFields(Fields) : TJson::object());
}

void TCliOutput::ResultObject(const std::string& Text, const std::string& Event, const TJson& Fields)
{
    EndProgress();
    if (Json)
        Emit(Event, Fields);
    else if (!Quiet)
        Out << Text << "\n";
}

void TCliOutput::Text(const std::string& Line)
{
    if (Json || Quiet)
        return;
    EndProgress();
    Out << Line << "\n";
}

void TCliOutput::JsonOnly(const std::string& Event, const TFields& Fields)
{
    if (Json)
        Emit(Event, ParseFields(Fields));
}

void TCliOutput::JsonOnlyObject(const std::string& Event, const TJson& Fields)
{
    if (Json)
        Emit(Event, Fields);
}

void TCliOutput::Error(const std::string& Message)
{
    EndProgress();
    if (Json)
        Emit("error", TJson{{"message", Message}});
    Err << "kestrune-cli: " << Message << "\n";
}

void TCliOutput::Info(const std::string& Message)
{
    if (!Quiet && !Json) {
        EndProgress();
        Err << Message << "\n";
    }
}

} // namespace kestrune::cli

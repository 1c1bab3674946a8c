#include "cli/TCliOutput.h"

#include <cstdio>
#include <ostream>

namespace kestrune::cli {

TCliOutput::TCliOutput(std::ostream& O, std::ostream& E, bool J, bool Q, bool ErrIsTerminal)
    : Out(O), Err(E), Json(J), Quiet(Q), Terminal(ErrIsTerminal)
{
}

std::string TCliOutput::JsonString(const std::string& Text)
{
    std::string out = "\"";
    for (unsigned char c : Text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string TCliOutput::JsonNumber(std::int64_t Value)
{
    return std::to_string(Value);
}

void TCliOutput::Emit(const std::string& Event, const TFields& Fields)
{
    Out << "{\"event\":" << JsonString(Event);
    for (const auto& [key, value] : Fields)
        Out << "," << JsonString(key) << ":" << value;
    Out << "}\n";
    Out.flush();
}

void TCliOutput::Progress(const std::string& What, int Percent)
{
    if (Percent == LastPercent)
        return;
    LastPercent = Percent;
    if (Json) {
        Emit("progress", {{"task", JsonString(What)}, {"percent", JsonNumber(Percent)}});
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
        Emit(Event, Fields);
}

void TCliOutput::Error(const std::string& Message)
{
    EndProgress();
    if (Json)
        Emit("error", {{"message", JsonString(Message)}});
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

#pragma once

#include <string>

namespace kestrune {

// The texts of the rip window that follow from the disc alone: the drive
// entries, a track row's columns and the file name a track is written
// under. Kept apart from the controller so that the rules can be checked
// without a disc.
namespace RipTexts {

// "[name]  text1  text2  text3", two blanks between the parts.
std::string DriveEntry(const std::string& Name, const std::string& Text1, const std::string& Text2,
                       const std::string& Text3);
// The media name for codes 0 to 8; empty for any other code.
std::string MediaName(int MediaType);
// "AUDIO", "DATA (Mode 1)", ...; empty for an unknown code.
std::string TrackTypeText(int TrackType);
// Minutes, seconds with two digits, thousandths with three after a point: 4:07.013.
std::string DurationText(int Minutes, int Seconds, int Fraction);
// "Session1_Track3" for session 0, track 2 (both counted from 0).
std::string DefaultTrackName(int Session, int Track);
// The hidden Tag column: session * 100 + track.
std::string TagText(int Session, int Track);
// A Tag that is not a whole decimal number counts as 0.
int ParseTag(const std::string& Tag);
// The file name of a track: ' < > | / \ * ? each become '-'; every other
// character, the colon and the double quote included, stays.
std::string CleanTrackName(const std::string& Name);
// A percentage with two decimals, as the progress texts show it: 37.50.
std::string PercentText(double Percent);

} // namespace RipTexts
} // namespace kestrune

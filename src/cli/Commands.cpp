#include "cli/TBurnCommand.h"
#include "cli/TCliCommand.h"
#include "cli/TConvertCommand.h"
#include "cli/TDevicesCommand.h"
#include "cli/TDiscCommand.h"
#include "cli/TDrivesCommand.h"
#include "cli/TEraseCommand.h"
#include "cli/TNoiseLevelCommand.h"
#include "cli/TRecordCommand.h"
#include "cli/TRipCommand.h"
#include "cli/TSplitCommand.h"
#include "cli/TTagCommand.h"

namespace kestrune::cli {

// Each command adds its entry here.
const std::vector<TCliCommand>& Commands()
{
    static const std::vector<TCliCommand> commands{
        {"record", "record the sound card into one file per song", &TRecordCommand::Usage, TRecordCommand::Flags(),
         TRecordCommand::Options(), &TRecordCommand::Execute},
        {"split", "cut an existing recording into one file per song", &TSplitCommand::Usage, TSplitCommand::Flags(),
         TSplitCommand::Options(), &TSplitCommand::Execute},
        {"convert", "convert an audio file", &TConvertCommand::Usage, TConvertCommand::Flags(),
         TConvertCommand::Options(), &TConvertCommand::Execute},
        {"devices", "list the capture and playback devices with their formats", &TDevicesCommand::Usage,
         TDevicesCommand::Flags(), TDevicesCommand::Options(), &TDevicesCommand::Execute},
        {"noise-level", "measure the capture device's noise level and save it", &TNoiseLevelCommand::Usage,
         TNoiseLevelCommand::Flags(), TNoiseLevelCommand::Options(), &TNoiseLevelCommand::Execute},
        {"tag", "write title, artist, album and genre into an audio file", &TTagCommand::Usage, TTagCommand::Flags(),
         TTagCommand::Options(), &TTagCommand::Execute},
        {"disc", "print a CD's table of contents, disc ids and album entries", &TDiscCommand::Usage,
         TDiscCommand::Flags(), TDiscCommand::Options(), &TDiscCommand::Execute},
        {"rip", "rip a CD's tracks into tagged files, verified with AccurateRip", &TRipCommand::Usage,
         TRipCommand::Flags(), TRipCommand::Options(), &TRipCommand::Execute},
        {"burn", "write audio files as an audio CD, or as a CD image", &TBurnCommand::Usage, TBurnCommand::Flags(),
         TBurnCommand::Options(), &TBurnCommand::Execute},
        {"erase", "quick-erase a CD-RW", &TEraseCommand::Usage, TEraseCommand::Flags(), TEraseCommand::Options(),
         &TEraseCommand::Execute},
        {"drives", "list the CD writers with their speeds and discs", &TDrivesCommand::Usage,
         TDrivesCommand::Flags(), TDrivesCommand::Options(), &TDrivesCommand::Execute},
    };
    return commands;
}

} // namespace kestrune::cli

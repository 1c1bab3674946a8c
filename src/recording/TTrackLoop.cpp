#include "recording/TTrackLoop.h"

namespace kestrune {

template class TTrackLoopOf<TTrackSplitter>;

} // namespace kestrune

// Never built by default: the layering test builds it and expects the
// compiler to refuse the include, since file formats sit below the recorder.
#include "recording/TRecorder.h"

// Layer III: not decoded yet; frames are read and skipped.
#include "decoder/frame.h"

int DecodeLayer3Frame(StreamInfo*) { return 1; }

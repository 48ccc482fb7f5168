// The current output driver.
#include "output/output_driver.h"

const AudioOutputDriver* g_outputDriver = nullptr;

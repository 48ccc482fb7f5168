// Until HTTP streaming exists, a URL does not open.
#include "decoder/url_input.h"

plat::File OpenUrlInput(const char*) { return nullptr; }
void CloseUrlInput() {}

// URLs are opened as HTTP streams.
#include "output/url_input.h"

#include "output/http_stream.h"

plat::File OpenUrlInput(const char* url) { return OpenUrlStream(url); }
void CloseUrlInput() { CloseUrlStream(); }

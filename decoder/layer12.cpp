// Layers I and II: not decoded yet; frames are read and skipped.
#include "decoder/frame.h"

int DecodeLayer1Frame(StreamInfo*) { return 1; }
int DecodeLayer2Frame(StreamInfo*) { return 1; }
const Layer2AllocTable* GetLayer2AllocTable(int table, int* sblimit) {
    static const int kSblimit[5] = {27, 30, 8, 12, 30};
    *sblimit = kSblimit[table < 0 || table > 4 ? 0 : table];
    return nullptr;
}

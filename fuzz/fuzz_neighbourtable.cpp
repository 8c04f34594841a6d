// The kernel's neighbour table text, as the ONVIF search reads it for MACs.
#include "neighbourtable.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    (void)NeighbourTable::parse(input);
    return 0;
}

// Photo CD: recognised so that the caller hears why it is refused; no reader yet.
#include <cstring>

#include "decoder.h"
#include "errors.h"

namespace qzgfx {

namespace {

class PcdDecoder final : public Decoder {
public:
    const char *name() const override { return "Photo CD"; }

    bool sniff(Bytes data) const override
    {
        // An image pack starts with the "PCD_IPI" signature at 2048; an
        // overview pack with "PCD_OPA" at 0.
        return (data.size >= 2048 + 7 && std::memcmp(data.data + 2048, "PCD_IPI", 7) == 0) ||
               (data.size >= 7 && std::memcmp(data.data, "PCD_OPA", 7) == 0);
    }

    Header readHeader(Bytes) const override { fail("unsupported format: Photo CD"); }

    Image decode(Bytes, const Header &, const DecodeOptions &) const override
    {
        fail("unsupported format: Photo CD");
    }
};

}  // namespace

const Decoder &pcdDecoder()
{
    static const PcdDecoder decoder;
    return decoder;
}

}  // namespace qzgfx

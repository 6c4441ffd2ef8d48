// The RCI reply reader on any bytes: it must not fail, must keep its bounds, and must
// read the same whether the bytes come at once or cut into pieces.
#include "tool/RciReplyReader.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

struct Result {
    std::string body, log;
    uint64_t bodyBytes;
    bool complete, malformed, headDone;
    int status;
};

// The first byte chooses the piece size (1 to 256) and whether the peer closes.
Result Read(const uint8_t* data, size_t size, size_t piece, bool close) {
    tool::RciReplyReader reader;
    std::string log;
    for (size_t at = 0; at < size; at += piece) {
        size_t n = size - at < piece ? size - at : piece;
        reader.Feed(reinterpret_cast<const char*>(data + at), n);
        log += reader.TakeLog();
    }
    if (close) reader.PeerClosed();
    reader.Finish();
    log += reader.TakeLog();
    return {reader.Body(),      log,
            reader.BodyBytes(), reader.Complete(),
            reader.Malformed(), reader.HeadDone(),
            reader.Status()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t piece = size_t(data[0] & 0x7F) + 1;
    bool close = data[0] & 0x80;
    ++data;
    --size;
    Result whole = Read(data, size, size ? size : 1, close);
    Result cut = Read(data, size, piece, close);
    if (whole.body != cut.body || whole.log != cut.log || whole.bodyBytes != cut.bodyBytes ||
        whole.complete != cut.complete || whole.malformed != cut.malformed ||
        whole.headDone != cut.headDone || whole.status != cut.status)
        std::abort();
    if (whole.body.size() > tool::RciReplyReader::KeepLimit || whole.body.size() > whole.bodyBytes)
        std::abort();
    if (whole.bodyBytes > 0 && !whole.headDone) std::abort();
    // The log holds every byte it was given at most once, plus the line breaks added.
    if (whole.log.size() > 2 * size + 64) std::abort();
    return 0;
}

// The telnet filter on any bytes: the same result whether the stream comes at once or
// cut into pieces through a small output area, never more bytes out than in, replies
// made only of whole commands; and escaping any data then filtering it gives the data
// back.
#include "port/Telnet.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace port;

namespace {

using Bytes = std::vector<uint8_t>;

struct Result {
    Bytes out, replies;
    TTelnetOpt binary;
};

Result Run(const uint8_t* data, size_t size, size_t piece, size_t room) {
    TTelnetFilter f;
    Result r;
    Bytes out(room);
    size_t at = 0;
    // Each round takes at least one byte or delivers one, so 2 * size + 2 rounds suffice.
    for (size_t round = 0; at < size && round < 2 * size + 2; ++round) {
        size_t n = size - at < piece ? size - at : piece;
        auto res = f.Filter({data + at, n}, out);
        at += res.Consumed;
        r.out.insert(r.out.end(), out.begin(), out.begin() + static_cast<long>(res.Delivered));
        Bytes rep = f.TakeReplies();
        r.replies.insert(r.replies.end(), rep.begin(), rep.end());
    }
    if (at != size) std::abort(); // the filter stalled
    r.binary = f.BinaryOpt;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t piece = size_t(data[0] & 0x3F) + 1;
    size_t room = size_t(data[1] & 0x0F) + 1;
    bool binary = data[0] & 0x80;
    data += 2;
    size -= 2;

    Result whole = Run(data, size, size ? size : 1, size + 1);
    Result cut = Run(data, size, piece, room);
    if (whole.out != cut.out || whole.replies != cut.replies || whole.binary != cut.binary)
        std::abort();
    if (whole.out.size() > size) std::abort();
    if (!whole.replies.empty() && whole.replies[0] != TelnetIAC) std::abort();

    Bytes escaped(2 * size);
    auto e = TelnetEscape({data, size}, binary ? tnoTrue : tnoFalse, escaped);
    if (e.Consumed != size) std::abort();
    TTelnetFilter back;
    back.BinaryOpt = binary ? tnoTrue : tnoFalse;
    Bytes again(size + 1);
    auto r = back.Filter({escaped.data(), e.Stored}, again);
    if (r.Consumed != e.Stored || r.Delivered != size ||
        !std::equal(data, data + size, again.begin()))
        std::abort();
    if (back.HasReplies()) std::abort();
    return 0;
}

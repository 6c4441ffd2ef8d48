// The SOCKS negotiation on any proxy replies: it takes no more than it was offered,
// never waits for more than a reply can hold, ends once the replies are used up, and
// reads the same whether the replies come at once or byte by byte.
#include "port/Socks.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace port;

namespace {

struct Result {
    bool done;
    int result;
    size_t taken;
    std::vector<uint8_t> sent;
};

Result Run(TSocksVersion version, const uint8_t* data, size_t size, size_t piece) {
    TSocksRequest req;
    req.Version = version;
    req.Port = 502;
    req.Name = "module";
    req.UserCode = "tech";
    req.Password = "secret";
    TSocksNegotiation n(req);
    Result r{false, 0, 0, n.Start()};
    while (r.taken < size && !n.Done()) {
        if (n.Needed() == 0 || n.Needed() > 257) std::abort();
        size_t len = size - r.taken < piece ? size - r.taken : piece;
        size_t took = n.Feed({data + r.taken, len}, r.sent);
        if (took == 0 || took > len) std::abort();
        r.taken += took;
    }
    r.done = n.Done();
    r.result = n.Done() ? n.Result() : -1;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    TSocksVersion version = static_cast<TSocksVersion>(1 + data[0] % 3);
    ++data;
    --size;
    Result whole = Run(version, data, size, size ? size : 1);
    Result slow = Run(version, data, size, 1);
    if (whole.done != slow.done || whole.result != slow.result || whole.taken != slow.taken ||
        whole.sent != slow.sent)
        std::abort();
    if (whole.done && whole.result != 0 && (whole.result < 9008 || whole.result > 9021))
        std::abort();
    return 0;
}

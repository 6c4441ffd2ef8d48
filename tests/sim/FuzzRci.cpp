// Random requests to the RCI service: the HTTP reader, Base64, the XML reader
// and the document runner.
#include "RciHttp.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::HttpRequestReader reader;
    std::size_t half = size / 2;
    reader.Feed(std::span(data, half));
    auto state = reader.Feed(std::span(data + half, size - half));
    sim::Pins pins;
    if (state == sim::HttpRequestReader::State::Complete) {
        sim::AnswerRci(reader.Request(), pins);
        // The same bytes once more as a document with valid credentials.
        sim::HttpRequest request{"POST",
                                 "/UE/rci",
                                 {{"Authorization", "Basic cm9vdDp3cXpr"}},
                                 std::string(reinterpret_cast<const char*>(data), size)};
        sim::AnswerRci(request, pins);
    }
    return 0;
}

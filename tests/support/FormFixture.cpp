#include "FormFixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fakes {

void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string TinyBitmap() {
    // 2 x 2 pixels, 24 bits, rows padded to 8 bytes.
    std::string bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                       0,   0,   0,  2, 0, 0, 0, 2, 0, 0, 0,  1, 0, 24, 0};
    bmp.resize(70, '\0');
    return bmp;
}

void WriteGlyphs() {
    WriteFile("BmpOK.bmp", TinyBitmap());
    WriteFile("BmpX.bmp", TinyBitmap());
}

FormFixture::FormFixture() {
    tool::TMainFormPorts ports;
    auto s = std::make_unique<FakePort>(loop);
    auto n = std::make_unique<FakePort>(loop);
    serial = s.get();
    network = n.get();
    ports.serial = std::move(s);
    ports.network = std::move(n);
    form = std::make_unique<tool::TMainForm>(loop, std::move(ports));
}

FormFixture::~FormFixture() {
    form.reset();
}

} // namespace fakes

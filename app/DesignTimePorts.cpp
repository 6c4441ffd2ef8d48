#include "app/DesignTimePorts.h"

#include "port/ComPort.h"
#include "winsys/Exception.h"

namespace app {

namespace {

// Stands in for a port component that this build does not have yet: every attempt to
// open it fails with a message that says so.
class MissingPort final : public port::IWinsockPort {
  public:
    explicit MissingPort(std::string what) : what_(std::move(what)) {}
    bool GetOpen() const override { return false; }
    void SetOpen(bool open) override {
        if (open) throw winsys::Exception("The " + what_ + " is not available in this build");
    }
    uint16_t GetComNumber() const override { return comNumber_; }
    void SetComNumber(uint16_t n) override { comNumber_ = n; }
    int32_t GetBaud() const override { return baud_; }
    void SetBaud(int32_t b) override { baud_ = b; }
    port::TParity GetParity() const override { return parity_; }
    void SetParity(port::TParity p) override { parity_ = p; }
    uint16_t GetDataBits() const override { return dataBits_; }
    void SetDataBits(uint16_t b) override { dataBits_ = b; }
    uint16_t GetStopBits() const override { return stopBits_; }
    void SetStopBits(uint16_t b) override { stopBits_ = b; }
    char GetChar() override { throw winsys::Exception("The " + what_ + " is not open"); }
    void PutString(const std::string&) override {}
    void PutBlock(const void*, uint16_t) override {}
    std::string GetWsAddress() const override { return address_; }
    void SetWsAddress(const std::string& a) override { address_ = a; }
    std::string GetWsPort() const override { return port_; }
    void SetWsPort(const std::string& p) override { port_ = p; }
    port::TWsMode GetWsMode() const override { return mode_; }
    void SetWsMode(port::TWsMode m) override { mode_ = m; }

  private:
    std::string what_;
    uint16_t comNumber_ = 0;
    int32_t baud_ = 19200;
    port::TParity parity_ = port::pNone;
    uint16_t dataBits_ = 8, stopBits_ = 1;
    std::string address_ = "192.168.1.100", port_ = "2101";
    port::TWsMode mode_ = port::wsClient;
};

// ComPort1 as the main window's stored form makes it: the defaults of the component
// but for these settings, read while loading; Open stays off.
std::unique_ptr<port::TComPort> MakeSerialPort() {
    auto com = std::make_unique<port::TComPort>();
    com->Name = "ComPort1";
    com->ComponentState |= port::TBaseComponent::csLoading;
    com->SetComNumber(3);
    com->SetParity(port::pEven);
    com->SetTraceName("Rs232.TRC");
    com->SetLogName("Rs232.LOG");
    com->SetLogHex(false);
    com->SetLogAllHex(true);
    com->SetCommNotificationLevel(3);
    com->Loaded();
    return com;
}

} // namespace

tool::TMainFormPorts MakeDesignTimePorts() {
    tool::TMainFormPorts ports;
    ports.serial = MakeSerialPort();
    ports.network = std::make_unique<MissingPort>("network port component");
    return ports;
}

} // namespace app
